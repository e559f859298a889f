#include "sim/controller_scenario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "sim/scenario.h"
#include "sim/virtual_bus.h"

namespace {

sim::ScenarioSection section(std::vector<std::pair<std::string, std::string>> entries) {
    sim::ScenarioSection s;
    s.name = "device";
    s.line = 1;
    int line = 2;
    for (auto& [k, v] : entries) s.entries.push_back({k, v, line++});
    return s;
}

TEST(ControllerScenario, DefaultsWhenOnlyTheModelIsGiven) {
    sim::ControllerConfig c;
    std::string error;
    ASSERT_TRUE(sim::controllerConfigFromSection(section({{"model", "controller"}}), c, error)) << error;
    EXPECT_EQ(c.generation, sim::Generation::R6);
    EXPECT_EQ(c.touchUsage, 0x11);
    EXPECT_EQ(c.registerWord41, 0x482E);
    EXPECT_EQ(c.panel.seed, 1u);
    EXPECT_DOUBLE_EQ(c.panel.noiseSigma, 2.0);
}

TEST(ControllerScenario, GoodKeysReachTheConfig) {
    sim::ControllerConfig c;
    std::string error;
    ASSERT_TRUE(sim::controllerConfigFromSection(section({{"model", "controller"},
                                                          {"generation", "R5"},
                                                          {"touch_usage", "0x0B"},
                                                          {"pid", "0x1234"},
                                                          {"touch_fw_major", "0x0121"},
                                                          {"pen_fw", "0x0105"},
                                                          {"rx_count", "64"},
                                                          {"tx_count", "40"},
                                                          {"seed", "7"},
                                                          {"noise", "0.5"},
                                                          {"open_tx", "5"},
                                                          {"open_rx", "3, 7"},
                                                          {"short", "10,20"},
                                                          {"short", "11, 21"},
                                                          {"dead", "0,0"},
                                                          {"noisy", "45,71"},
                                                          {"pin_fault", "rx:12:vdd"},
                                                          {"pin_fault", "TX:47:Gnd"},
                                                          {"zero_frames", "3"},
                                                          {"break_indices", "2"},
                                                          {"hsync", "old"},
                                                          {"hsync_noise", "-40"},
                                                          {"hsync_signal", "off"},
                                                          {"mnt_version", "02 10 01 0A 00 00 00 00 00 FF"},
                                                          {"hk_pins", "7"},
                                                          {"hk_level", "250"},
                                                          {"hk_noise", "0"},
                                                          {"hk_weak_pin", "2"},
                                                          {"hk_weak_rise", "40"},
                                                          {"tkp_noise", "0x30"},
                                                          {"tkp_sigma", "2.5"},
                                                          {"tkp_signal", "4095"}}),
                                                 c, error))
        << error;
    EXPECT_EQ(c.generation, sim::Generation::R5);
    EXPECT_EQ(c.touchUsage, 0x0B);
    EXPECT_EQ(c.productId, 0x1234);
    EXPECT_EQ(c.touchFirmwareMajor, 0x0121);
    EXPECT_EQ(c.penFirmware, 0x0105) << "R5 reports 16 bits";
    EXPECT_EQ(c.registerWord41, 0x4028);
    EXPECT_EQ(c.panel.seed, 7u);
    EXPECT_DOUBLE_EQ(c.panel.noiseSigma, 0.5);
    EXPECT_EQ(c.panel.openTx, (std::vector<int>{5}));
    EXPECT_EQ(c.panel.openRx, (std::vector<int>{3, 7}));
    EXPECT_EQ(c.panel.shorts, (std::vector<sim::Cell>{{10, 20}, {11, 21}}));
    EXPECT_EQ(c.panel.dead, (std::vector<sim::Cell>{{0, 0}}));
    EXPECT_EQ(c.panel.noisy, (std::vector<sim::Cell>{{45, 71}}));
    EXPECT_EQ(c.panel.pinFaults, (std::vector<sim::PinFault>{{true, 12, true}, {false, 47, false}}));
    EXPECT_EQ(c.zeroFrames, 3u);
    EXPECT_EQ(c.breakIndices, 2u);
    EXPECT_EQ(c.hsync, sim::HsyncMcu::OldFirmware);
    EXPECT_EQ(c.hsyncNoise, -40);
    EXPECT_FALSE(c.hsyncSignal);
    EXPECT_EQ(c.maintenanceVersion[3], 0x0A);
    EXPECT_EQ(c.maintenanceVersion[9], 0xFF);
    EXPECT_EQ(c.homeKeyPins, 7u);
    EXPECT_EQ(c.homeKeyLevel, 250u);
    EXPECT_DOUBLE_EQ(c.homeKeyNoise, 0.0);
    EXPECT_EQ(c.homeKeyWeakPin, 2);
    EXPECT_EQ(c.homeKeyWeakPercent, 40u);
    EXPECT_EQ(c.tkpNoise, 0x30);
    EXPECT_DOUBLE_EQ(c.tkpNoiseSigma, 2.5);
    EXPECT_EQ(c.tkpSignal, 4095);
}

TEST(ControllerScenario, HsyncValueListsAndRefusals) {
    sim::ControllerConfig c;
    std::string error;
    ASSERT_TRUE(sim::controllerConfigFromSection(
        section({{"hsync_sample", "0x0100, 0x0032"}, {"hsync_noise", "-10,10,-11"}, {"hsync_nak", "2"}}), c, error))
        << error;
    EXPECT_EQ(c.hsyncSample, 0x0100);
    EXPECT_EQ(c.hsyncSampleCycle, (std::vector<std::uint16_t>{0x0100, 0x0032}));
    EXPECT_EQ(c.hsyncNoiseCycle, (std::vector<std::int16_t>{-10, 10, -11}));
    EXPECT_EQ(c.hsyncNak, 2u);
    // One value is no list.
    sim::ControllerConfig one;
    ASSERT_TRUE(sim::controllerConfigFromSection(section({{"hsync_noise", "-7"}}), one, error)) << error;
    EXPECT_EQ(one.hsyncNoise, -7);
    EXPECT_TRUE(one.hsyncNoiseCycle.empty());
    for (const char* bad : {"1,,2", "0x10000", "5,x"}) {
        sim::ControllerConfig b;
        EXPECT_FALSE(sim::controllerConfigFromSection(section({{"hsync_sample", bad}}), b, error)) << bad;
    }
}

TEST(ControllerScenario, BadKeysAndValuesNameTheirLine) {
    struct Case {
        std::string key, value, message;
    };
    const Case cases[] = {
        {"colour", "blue", "3: unknown key 'colour'"},
        {"model", "bootloader", "3: bad value 'bootloader' for model"},
        {"generation", "R7", "3: bad value 'R7' for generation"},
        {"touch_usage", "0x12", "3: bad value '0x12' for touch_usage"},
        {"pid", "0x10000", "3: bad value '0x10000' for pid"},
        {"pid", "12ab", "3: bad value '12ab' for pid"},
        {"noise", "-1", "3: bad value '-1' for noise"},
        {"noise", "nan", "3: bad value 'nan' for noise"},
        {"open_tx", "46", "3: bad value '46' for open_tx"},
        {"open_rx", "3,,7", "3: bad value '3,,7' for open_rx"},
        {"short", "3", "3: bad value '3' for short"},
        {"dead", "1,72", "3: bad value '1,72' for dead"},
        {"pin_fault", "rx:72:vdd", "3: bad value 'rx:72:vdd' for pin_fault"},
        {"pin_fault", "tx:3:ground", "3: bad value 'tx:3:ground' for pin_fault"},
        {"rx_count", "0", "3: bad value '0' for rx_count"},
        {"tx_count", "47", "3: bad value '47' for tx_count"},
        {"hsync", "maybe", "3: bad value 'maybe' for hsync"},
        {"hsync_signal", "2", "3: bad value '2' for hsync_signal"},
        {"mnt_version", "02 10", "3: bad value '02 10' for mnt_version"},
        // Size words and extra words make a slot of 15 bytes: three fit a touch report, not four.
        {"mnt_version", "02 10 00 00 05 04 00 00 00 00", "3: bad value for mnt_version: at most 3 contact slots"},
        {"hk_pins", "8", "3: bad value '8' for hk_pins"},
        {"hk_weak_pin", "7", "3: bad value '7' for hk_weak_pin"},
        {"tkp_signal", "4096", "3: bad value '4096' for tkp_signal"},
        {"tkp_sigma", "-1", "3: bad value '-1' for tkp_sigma"},
        {"operator", "when sneeze: nothing", "3: operator: unknown event 'sneeze'"},
        {"pen_fw", "0x0105", "3: bad value for pen_fw"},  // R6 by default: one byte
        {"refuse", "put 9", "3: bad value 'put 9' for refuse"},
        {"refuse", "set", "3: bad value 'set' for refuse"},
        {"refuse", "get 4 x0", "3: bad value 'get 4 x0' for refuse"},
        {"refuse", "set 100", "3: bad value 'set 100' for refuse"},
    };
    for (const Case& c : cases) {
        sim::ControllerConfig cfg;
        std::string error;
        EXPECT_FALSE(sim::controllerConfigFromSection(section({{"model", "controller"}, {c.key, c.value}}), cfg, error))
            << c.key << " = " << c.value;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    }
}

TEST(ControllerScenario, RefuseRulesReachTheConfig) {
    sim::ControllerConfig c;
    std::string error;
    ASSERT_TRUE(sim::controllerConfigFromSection(
        section({{"model", "controller"}, {"refuse", "set 9 2 0x0A"}, {"refuse", "get 9 15 x3"}}), c, error))
        << error;
    ASSERT_EQ(c.refuse.size(), 2u);
    EXPECT_TRUE(c.refuse[0].set);
    EXPECT_EQ(c.refuse[0].prefix, (std::vector<std::uint8_t>{9, 2, 0x0A}));
    EXPECT_EQ(c.refuse[0].times, 0u);
    EXPECT_FALSE(c.refuse[1].set);
    EXPECT_EQ(c.refuse[1].prefix, (std::vector<std::uint8_t>{9, 0x15}));
    EXPECT_EQ(c.refuse[1].times, 3u);
}

TEST(ControllerScenario, FactoryBuildsTheDeviceOrExplains) {
    platform::VirtualClock clock;
    std::string error;
    auto dev = sim::makeControllerFromSection(section({{"model", "controller"}, {"generation", "R5"}}), clock, error);
    ASSERT_NE(dev, nullptr) << error;
    EXPECT_EQ(dev->usbIdentity().productId, 0x0952);
    EXPECT_EQ(sim::makeControllerFromSection(section({{"seed", "x"}}), clock, error), nullptr);
    EXPECT_EQ(error.rfind("2: bad value 'x' for seed", 0), 0u) << error;
}

// Every example file stays loadable by the scenario loader vorlick-sim uses.
TEST(ControllerScenario, ExampleScenariosBuildTheirDevices) {
    const std::filesystem::path dir = std::filesystem::path(VORLICK_SOURCE_DIR) / "examples" / "sim";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".scenario") continue;
        ++files;
        platform::VirtualClock clock;
        sim::VirtualBus bus(clock);
        std::string error;
        EXPECT_TRUE(sim::loadScenarioFile(entry.path().string(), bus, clock, error)) << error;
        EXPECT_FALSE(bus.deviceIds().empty()) << entry.path();
    }
    EXPECT_GE(files, 3);
}

}  // namespace
