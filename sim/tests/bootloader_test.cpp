// The controller's bootloaders on an in-process bus with a virtual clock, driven by a scripted
// client: entering from the main firmware, the F11 and F09 exchanges, the flash, the faults a
// scenario injects, and the restart into the written image.
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>

#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/controller_scenario.h"
#include "sim/scenario.h"
#include "sim/virtual_bus.h"
#include "ubl_client.h"

namespace {

using simtest::Bytes;
using simtest::UblClient;
using Frames = UblClient::Frames;

constexpr std::uint32_t kVersionOffset = 0x10;  // image offset of the version word (address 0x8010)

// A image of `size` bytes that no shifted or partial copy matches, carrying `version`.
Bytes image(std::size_t size, std::uint16_t version, std::uint8_t seed = 0) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i * 31 + (i >> 8) * 7 + seed) & 0xFF);
    b[kVersionOffset] = static_cast<std::uint8_t>(version);
    b[kVersionOffset + 1] = static_cast<std::uint8_t>(version >> 8);
    return b;
}

std::uint16_t sum16(const Bytes& b) {
    return static_cast<std::uint16_t>(std::accumulate(b.begin(), b.end(), 0u) & 0xFFFF);
}

struct Bench {
    explicit Bench(sim::ControllerConfig config) {
        device = std::make_shared<sim::ControllerDevice>(std::move(config));
        id = bus.addDevice(device);
    }
    explicit Bench(std::shared_ptr<sim::ControllerDevice> d) : device(std::move(d)) { id = bus.addDevice(device); }

    Bytes flash(std::size_t n) const {
        const auto f = device->flash();
        return f ? Bytes(f->bytes.begin(), f->bytes.begin() + static_cast<std::ptrdiff_t>(n)) : Bytes{};
    }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    std::shared_ptr<sim::ControllerDevice> device;
    int id = 0;
    UblClient client{backend};
};

// One way a controller carries its bootloader.
struct Variant {
    const char* name;
    sim::Generation generation;
    std::uint16_t page;  // main collection; 0 by generation
    std::uint16_t touchUsage;
    Frames frames;
    std::uint16_t ublPage;
    std::uint16_t ublPid;
    bool reenumerates;
};

const Variant kVariants[] = {
    {"F11 direct", sim::Generation::R6, 0, 0x11, Frames::F11, 0xFF11, 0x0094, true},
    {"F11 wrapped", sim::Generation::R6, 0, 0x0B, Frames::F11, 0xFF11, 0x0094, true},
    {"F09 long", sim::Generation::R5, 0, 0x11, Frames::F09Long, 0xFF09, 0x0952, false},
    {"F09 short", sim::Generation::R5, 0, 0x01, Frames::F09Short, 0xFF09, 0x0952, false},
    {"F09 wrapped", sim::Generation::R5, 0, 0x0B, Frames::F09Long, 0xFF09, 0x0952, false},
    {"F09 wrapped, page 0xFF00", sim::Generation::R5, 0xFF00, 0x0B, Frames::F09Long, 0xFF00, 0x0952, false},
};

sim::ControllerConfig configOf(const Variant& v) {
    sim::ControllerConfig c;
    c.generation = v.generation;
    c.usagePage = v.page;
    c.touchUsage = v.touchUsage;
    return c;
}

std::uint16_t mainPage(const Variant& v) {
    return v.page != 0 ? v.page : v.generation == sim::Generation::R6 ? 0xFF11 : 0xFF09;
}

// From the main firmware into the bootloader, as the writer goes: F11 comes back as its own
// device after the reset delay, F09 answers on the handle already open.
::testing::AssertionResult enter(Bench& b, const Variant& v) {
    if (!b.client.open(mainPage(v), v.touchUsage, v.frames)) return ::testing::AssertionFailure() << "no main";
    if (!b.client.enterUbl()) return ::testing::AssertionFailure() << "Enter UBL refused";
    if (v.reenumerates) {
        b.client.close();
        if (b.bus.present(b.id)) return ::testing::AssertionFailure() << "still on the bus";
        b.clock.advance(b.device->config().resetDelayMs);
        if (!b.client.open(v.ublPage, v.touchUsage, v.frames)) return ::testing::AssertionFailure() << "no bootloader";
    }
    return ::testing::AssertionSuccess();
}

TEST(Bootloader, EnterUblBringsUpTheBootloaderOfEachKind) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        sim::ControllerConfig c = configOf(v);
        c.bootloader.mpuType = 0x3C;
        Bench b(c);
        ASSERT_TRUE(enter(b, v));
        EXPECT_EQ(b.client.productId, v.ublPid);
        // F09 takes over in place: the host still sees the main firmware's nodes (three in driver mode).
        EXPECT_EQ(b.device->interfaceCount(), v.reenumerates ? 1u : v.touchUsage == 0x0B ? 3u : 2u);
        EXPECT_TRUE(b.device->inBootloader());
        const auto mode = b.client.command(0x07);
        EXPECT_TRUE(mode.answered && mode.echoed);
        EXPECT_EQ(mode.status, 6);
        EXPECT_EQ(b.client.command(0x04).status, 0x54);
        EXPECT_EQ(b.client.command(0x05).status, 0x3C);
        // The bootloader's report 2 reads as its mode, as the writer's probe expects.
        const Bytes r2 = b.client.get(0x02, 2);
        ASSERT_EQ(r2.size(), 2u);
        EXPECT_EQ(r2[1], 2);
    }
}

TEST(Bootloader, WithoutABootloaderEnterUblIsRefused) {
    sim::ControllerConfig c;
    c.bootloader.kind = sim::BootloaderKind::None;
    Bench b(c);
    ASSERT_TRUE(b.client.open(0xFF11, 0x11, Frames::F11));
    EXPECT_FALSE(b.client.enterUbl());
    EXPECT_TRUE(b.bus.present(b.id));
}

TEST(Bootloader, AWrittenImageIsTheFlashAndTheRestartedFirmwareReportsItsVersion) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        Bench b(configOf(v));
        ASSERT_TRUE(enter(b, v));
        // F11 gets the largest image it takes; F09 a short one, and one full run below.
        const Bytes img = image(v.frames == Frames::F11 && v.touchUsage == 0x11 ? 0x24000 : 0x2000, 0x0207);
        if (v.frames == Frames::F11) {
            const auto erase = b.client.command(0x90, {}, 0x01);
            EXPECT_TRUE(erase.answered);
            EXPECT_EQ(erase.status, 0);
            EXPECT_EQ(erase.busy, 3u) << "the default erase answers busy three times";
        }
        std::size_t failedAt = 0;
        UblClient::Answer last;
        ASSERT_TRUE(b.client.writeImage(0x01, img, failedAt, last))
            << "block " << failedAt << " status " << +last.status;
        EXPECT_EQ(b.device->flash()->extent, img.size());
        EXPECT_EQ(b.flash(img.size()), img);
        if (v.frames != Frames::F11) {
            const std::uint16_t sum = sum16(img);
            EXPECT_EQ(
                b.client.command(0x83, {static_cast<std::uint8_t>(sum), static_cast<std::uint8_t>(sum >> 8)}).status,
                0);
            EXPECT_NE(b.client.command(0x83, {static_cast<std::uint8_t>(sum + 1), static_cast<std::uint8_t>(sum >> 8)})
                          .status,
                      0);
        }
        // Exit: no answer is read; the controller restarts from the new image.
        EXPECT_TRUE(b.client.set(b.client.frame(0x03, 0)));
        b.client.close();
        EXPECT_FALSE(b.bus.present(b.id));
        b.clock.advance(b.device->config().resetDelayMs);
        ASSERT_TRUE(b.client.open(mainPage(v), v.touchUsage, v.frames));
        EXPECT_FALSE(b.device->inBootloader());
        EXPECT_EQ(b.client.productId, v.generation == sim::Generation::R6 ? 0x0A52 : 0x0952);
        EXPECT_EQ(b.client.version, 0x0207);
        const Bytes query = b.client.get(0x04, 16);
        ASSERT_EQ(query.size(), 16u);
        EXPECT_EQ(query[11] | query[12] << 8, 0x0207);
    }
}

TEST(Bootloader, F09TakesTheLargestImageInLongFrames) {
    Bench b(configOf(kVariants[2]));
    ASSERT_TRUE(enter(b, kVariants[2]));
    const Bytes img = image(0x2BE00, 0x0301);
    std::size_t failedAt = 0;
    UblClient::Answer last;
    ASSERT_TRUE(b.client.writeImage(0x80, img, failedAt, last)) << failedAt;
    EXPECT_EQ(b.flash(img.size()), img);
}

TEST(Bootloader, F11ProgramsOnlyErasedFlashAsNorFlashDoes) {
    const Bytes first = image(0x200, 0x0100, 1), second = image(0x200, 0x0100, 2);
    std::size_t failedAt = 0;
    UblClient::Answer last;
    {
        // Fresh from the factory the flash holds the factory firmware, not erased bytes.
        Bench b(configOf(kVariants[0]));
        ASSERT_TRUE(enter(b, kVariants[0]));
        const Bytes factory = b.flash(first.size());
        ASSERT_TRUE(b.client.writeImage(0x01, first, failedAt, last));
        Bytes expected(first.size());
        for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = factory[i] & first[i];
        EXPECT_NE(expected, first);
        EXPECT_EQ(b.flash(expected.size()), expected) << "a write without erase leaves a mix";
    }
    Bench b(configOf(kVariants[0]));
    ASSERT_TRUE(enter(b, kVariants[0]));
    ASSERT_EQ(b.client.command(0x90, {}, 0x01).status, 0);
    ASSERT_TRUE(b.client.writeImage(0x01, first, failedAt, last));
    EXPECT_EQ(b.flash(first.size()), first) << "an erased flash takes the image";
    ASSERT_TRUE(b.client.writeImage(0x01, second, failedAt, last));
    Bytes expected(first.size());
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = first[i] & second[i];
    EXPECT_EQ(b.flash(expected.size()), expected) << "a write without erase leaves a mix";
}

TEST(Bootloader, F09NormalWriteMatchesTheImageVersionAForcedOneIgnoresIt) {
    struct Case {
        const char* what;
        std::uint8_t code;
        std::uint16_t version;
        bool written;
    };
    // The main firmware is version 0x0100.
    const Case cases[] = {
        {"normal, older", 0x01, 0x00FF, false}, {"normal, same", 0x01, 0x0100, true},
        {"normal, newer", 0x01, 0x0207, true},  {"normal, image without a version", 0x01, 0xFFFF, true},
        {"forced, older", 0x80, 0x00FF, true},
    };
    for (const Variant* v : {&kVariants[2], &kVariants[3]}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(v->name) + ", " + c.what);
            Bench b(configOf(*v));
            ASSERT_TRUE(enter(b, *v));
            const Bytes factory = b.flash(0x400);
            const Bytes img = image(0x400, c.version);
            std::size_t failedAt = 0;
            UblClient::Answer last;
            EXPECT_EQ(b.client.writeImage(c.code, img, failedAt, last), c.written);
            if (c.written) {
                EXPECT_EQ(b.flash(img.size()), img);
            } else {
                EXPECT_EQ(failedAt, 0u);
                EXPECT_EQ(last.status, 0x0E);
                EXPECT_EQ(b.flash(img.size()), factory) << "a refused block is not written";
                EXPECT_EQ(b.device->flash()->extent, 0u);
            }
        }
    }
}

TEST(Bootloader, BlocksOutOfOrderOrOutOfShapeAreAnsweredWithAnError) {
    struct Case {
        const char* what;
        Frames frames;
        std::uint8_t sequence;
        std::uint32_t address;
        int mangle;  // 0 none, 1 length byte, 2 check byte
        std::uint8_t status;
    };
    const Case cases[] = {
        {"first block with sequence 2", Frames::F11, 2, 0x8000, 0, 0x12},
        {"a block that skips one", Frames::F11, 2, 0x8100, 0, 0x12},
        {"address not on a block", Frames::F11, 1, 0x8040, 0, 0x11},
        {"F11 past 0x2C000", Frames::F11, 2, 0x2C000, 0, 0x11},
        {"below the program flash", Frames::F11, 1, 0x7F80, 0, 0x11},
        {"length byte of another frame", Frames::F11, 1, 0x8000, 1, 0x10},
        {"short frame, data check byte wrong", Frames::F09Short, 1, 0x8000, 2, 0x10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Variant& v = c.frames == Frames::F11 ? kVariants[0] : kVariants[3];
        Bench b(configOf(v));
        ASSERT_TRUE(enter(b, v));
        if (c.frames == Frames::F11) {
            ASSERT_EQ(b.client.command(0x90, {}, 0x01).status, 0);
        }
        const Bytes img = image(0x400, 0x0100);
        Bytes f = b.client.blockFrame(0x01, c.sequence, c.address, img, 0);
        if (c.mangle == 1) f[7] = 0x40;
        if (c.mangle == 2) f[73] = static_cast<std::uint8_t>(f[73] + 1);
        const auto a = b.client.transact(f);
        EXPECT_TRUE(a.answered && a.echoed);
        EXPECT_EQ(a.status, c.status);
    }
    // The sequence wraps: the 256th block carries 0, the 257th 1 again.
    Bench b(configOf(kVariants[3]));
    ASSERT_TRUE(enter(b, kVariants[3]));
    std::size_t failedAt = 0;
    UblClient::Answer last;
    EXPECT_TRUE(b.client.writeImage(0x01, image(64 * 300, 0x0100), failedAt, last)) << failedAt;
}

TEST(Bootloader, F09DataMatchingGuardsTheEncryptedWrite) {
    struct Case {
        const char* what;
        std::uint16_t pid, version;
        std::uint8_t status;
    };
    // The main firmware: product 0x0952, version 0x0100.
    const Case cases[] = {
        {"same product and version", 0x0952, 0x0100, 0x00},
        {"newer version", 0x0952, 0x0101, 0x00},
        {"other product", 0x0A52, 0x0100, 0x0D},
        {"older version", 0x0952, 0x00FF, 0x0E},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b(configOf(kVariants[2]));
        ASSERT_TRUE(enter(b, kVariants[2]));
        const Bytes img = image(0x400, 0x0100);
        EXPECT_EQ(b.client.transact(b.client.blockFrame(0x84, 1, 0x8000, img, 0)).status, 0x14)
            << "an encrypted block before data matching";
        const auto m =
            b.client.command(0x85, {static_cast<std::uint8_t>(c.pid), static_cast<std::uint8_t>(c.pid >> 8),
                                    static_cast<std::uint8_t>(c.version), static_cast<std::uint8_t>(c.version >> 8)});
        EXPECT_EQ(m.status, c.status);
        std::size_t failedAt = 0;
        UblClient::Answer last;
        EXPECT_EQ(b.client.writeImage(0x84, img, failedAt, last), c.status == 0);
    }
}

TEST(Bootloader, F09SecurityConfirmationAndOldVersions) {
    {
        Bench b(configOf(kVariants[2]));
        ASSERT_TRUE(enter(b, kVariants[2]));
        EXPECT_EQ(b.client.command(0x81, {0x00}).status, 0x00);
        EXPECT_EQ(b.client.command(0x81, {0x0F}).status, 0x0F);
        EXPECT_EQ(b.client.command(0x81, {0x00}).status, 0x0F);
        EXPECT_FALSE(b.device->updateConfirmed());
        EXPECT_EQ(b.client.command(0x86).status, 0x00);
        EXPECT_TRUE(b.device->updateConfirmed());
        EXPECT_EQ(b.device->bootloaderSecurity(), 0x0F);
    }
    {
        sim::ControllerConfig c = configOf(kVariants[3]);
        c.bootloader.version = 0x53;
        c.bootloader.writeProtectError = true;
        Bench b(c);
        ASSERT_TRUE(enter(b, kVariants[3]));
        EXPECT_EQ(b.client.command(0x04).status, 0x53);
        EXPECT_EQ(b.client.command(0x81, {0x0F}).status & 0x40, 0x40) << "write-protect error";
        EXPECT_EQ(b.device->bootloaderSecurity(), 0x00);
        for (std::uint8_t code : {std::uint8_t{0x83}, std::uint8_t{0x85}, std::uint8_t{0x86}})
            EXPECT_EQ(b.client.command(code).status, 0x13) << +code;
    }
}

// Builds the controller of a scenario section, as vorlick-sim does.
std::shared_ptr<sim::ControllerDevice> fromScenario(const std::string& keys, std::string& error) {
    const auto sections = sim::parseScenario("[device]\nmodel = controller\n" + keys, "t", error);
    if (!sections || sections->empty()) return nullptr;
    platform::VirtualClock clock;
    return std::dynamic_pointer_cast<sim::ControllerDevice>(
        sim::makeControllerFromSection(sections->front(), clock, error));
}

TEST(Bootloader, ScenarioFaultsHitTheBlockOrExchangeTheyName) {
    struct Case {
        const char* keys;
        std::size_t failedAt;  // block index of the first failure
        bool sent, answered, echoed;
        std::uint8_t status;
        bool secondPassWrites;  // erase and write again
    };
    // F11, 0x800 bytes = 16 blocks. Exchanges: erase set 1 and gets 1..4, then per block one set
    // and one get.
    const Case cases[] = {
        {"ubl_busy_at_block = 2\n", 2, true, false, true, 0x80, true},
        {"ubl_busy_at_block = 2 0\n", 2, true, false, true, 0x80, false},
        {"ubl_break_echo_at_block = 15\n", 15, true, true, false, 0x00, true},
        {"ubl_status_at_block = 0 0x0C\n", 0, true, true, true, 0x0C, true},
        {"ubl_status_at_block = 7 0x0D\n", 7, true, true, true, 0x0D, true},
        {"ubl_status_at_block = 15 0x0E 2\n", 15, true, true, true, 0x0E, false},
        {"ubl_refuse_set = 3\n", 1, false, false, false, 0x00, true},
        {"ubl_refuse_get = 6\n", 1, true, false, false, 0x00, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        std::string error;
        auto dev = fromScenario(std::string("generation = R6\nubl_erase_busy_polls = 3\n") + c.keys, error);
        ASSERT_TRUE(dev) << error;
        Bench b(dev);
        ASSERT_TRUE(enter(b, kVariants[0]));
        const Bytes img = image(0x800, 0x0100);
        ASSERT_EQ(b.client.command(0x90, {}, 0x01).status, 0);
        std::size_t failedAt = 99;
        UblClient::Answer last;
        ASSERT_FALSE(b.client.writeImage(0x01, img, failedAt, last));
        EXPECT_EQ(failedAt, c.failedAt);
        EXPECT_EQ(last.sent, c.sent);
        EXPECT_EQ(last.answered, c.answered);
        if (c.answered || !c.sent) {
            EXPECT_EQ(last.echoed, c.echoed);
        }
        if (c.answered) {
            EXPECT_EQ(last.status, c.status);
        }
        if (!c.answered && c.sent && c.status == 0x80) {
            EXPECT_EQ(last.busy, 1000u);
        }
        // A new command ends any busy answer; the second erase and write meet the fault again
        // only when it fires more than once.
        EXPECT_EQ(b.client.command(0x07).status, 6);
        ASSERT_EQ(b.client.command(0x90, {}, 0x01).status, 0);
        EXPECT_EQ(b.client.writeImage(0x01, img, failedAt, last), c.secondPassWrites);
        if (c.secondPassWrites) {
            EXPECT_EQ(b.flash(img.size()), img);
        }
    }
}

TEST(Bootloader, FaultsAtACommand) {
    std::string error;
    auto dev = fromScenario(
        "generation = R6\nubl_busy_at_command = 0x90\nubl_break_echo_at_command = 0x05\n"
        "ubl_status_at_command = 0x04 0x33\nubl_erase_status = 0\n",
        error);
    ASSERT_TRUE(dev) << error;
    Bench b(dev);
    ASSERT_TRUE(enter(b, kVariants[0]));
    const auto erase = b.client.command(0x90, {}, 0x01);
    EXPECT_FALSE(erase.answered);
    EXPECT_EQ(erase.busy, 1000u);
    EXPECT_FALSE(b.client.command(0x05).echoed);
    EXPECT_EQ(b.client.command(0x04).status, 0x33);
    EXPECT_EQ(b.client.command(0x04).status, 0x54) << "each fires once by default";
}

TEST(Bootloader, UnplugMidWriteThenReplugStartsWhatTheFlashHolds) {
    struct Case {
        const char* keys;
        bool mainAfterReplug;
    };
    // After the erase, an unplug before the first block leaves nothing to run.
    const Case cases[] = {{"ubl_unplug_at_block = 0\n", false}, {"ubl_unplug_at_block = 5\n", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        std::string error;
        auto dev = fromScenario(std::string("generation = R6\n") + c.keys, error);
        ASSERT_TRUE(dev) << error;
        Bench b(dev);
        ASSERT_TRUE(enter(b, kVariants[0]));
        ASSERT_EQ(b.client.command(0x90, {}, 0x01).status, 0);
        std::size_t failedAt = 99;
        UblClient::Answer last;
        const Bytes img = image(0x800, 0x0300);
        ASSERT_FALSE(b.client.writeImage(0x01, img, failedAt, last));
        EXPECT_FALSE(last.sent);
        EXPECT_FALSE(b.bus.present(b.id));
        b.clock.advance(60000);
        EXPECT_FALSE(b.bus.present(b.id)) << "gone until plugged in again";
        b.client.close();
        b.bus.replug(b.id);
        ASSERT_TRUE(b.bus.present(b.id));
        EXPECT_EQ(b.device->inBootloader(), !c.mainAfterReplug);
        EXPECT_EQ(b.device->usbIdentity().productId, c.mainAfterReplug ? 0x0A52 : 0x0094);
        // Whatever came back, a full write now succeeds.
        if (c.mainAfterReplug) {
            ASSERT_TRUE(enter(b, kVariants[0]));
        } else {
            ASSERT_TRUE(b.client.open(0xFF11, 0x11, Frames::F11));
        }
        ASSERT_EQ(b.client.command(0x90, {}, 0x01).status, 0);
        ASSERT_TRUE(b.client.writeImage(0x01, img, failedAt, last)) << failedAt;
        EXPECT_EQ(b.flash(img.size()), img);
    }
}

TEST(Bootloader, F09UnplugInItsBootloaderComesBackAsTheMainFirmware) {
    std::string error;
    auto dev = fromScenario("generation = R5\nubl_unplug_at_block = 2\n", error);
    ASSERT_TRUE(dev) << error;
    Bench b(dev);
    ASSERT_TRUE(enter(b, kVariants[2]));
    std::size_t failedAt = 99;
    UblClient::Answer last;
    EXPECT_FALSE(b.client.writeImage(0x01, image(0x1000, 0x0500), failedAt, last));
    EXPECT_EQ(failedAt, 2u);
    EXPECT_FALSE(b.bus.present(b.id));
    b.client.close();
    b.bus.replug(b.id);
    EXPECT_FALSE(b.device->inBootloader());
    ASSERT_TRUE(b.client.open(0xFF09, 0x11, Frames::F09Long));
    EXPECT_EQ(b.client.productId, 0x0952);
    EXPECT_EQ(b.client.version, 0x0500) << "two blocks made it, the version word with them";
}

TEST(Bootloader, F09ControllerWithNothingToRunEnumeratesAsItsBootloader) {
    std::string error;
    auto dev = fromScenario("generation = R5\nstart_in_ubl = yes\nubl_version = 0x53\n", error);
    ASSERT_TRUE(dev) << error;
    Bench b(dev);
    const sim::UsbIdentity id = b.device->usbIdentity();
    EXPECT_EQ(id.productId, 0x0112);
    EXPECT_EQ(b.device->interfaceCount(), 1u);
    ASSERT_TRUE(b.client.open(0xFF09, 0x11, Frames::F09Long));
    // The writer reads report 8 to see it answer, and still sends "Enter UBL.".
    EXPECT_EQ(b.client.get(0x08, 136).size(), 136u);
    EXPECT_TRUE(b.client.enterUbl());
    EXPECT_EQ(b.client.command(0x07).status, 6);
    std::size_t failedAt = 0;
    UblClient::Answer last;
    ASSERT_TRUE(b.client.writeImage(0x01, image(0x1000, 0x0405), failedAt, last));
    EXPECT_TRUE(b.client.set(b.client.frame(0x03, 0)));
    b.clock.advance(b.device->config().resetDelayMs);
    EXPECT_EQ(b.device->usbIdentity().productId, 0x0952);
    EXPECT_EQ(b.device->usbIdentity().version, 0x0405);
}

TEST(Bootloader, ScenarioKeysAreCheckedWithTheirLine) {
    struct Case {
        const char* keys;
        const char* error;  // empty: accepted
    };
    const Case cases[] = {
        {"bootloader = f09\ngeneration = R5\nubl_version = 0x53\nubl_mpu_type = 7\nubl_security = 0x0F\n", ""},
        {"ubl_unplug_at_block = 3\nubl_refuse_set = 10\nubl_refuse_get = 11\nubl_pid = 0x0095\n", ""},
        {"bootloader = f12\n", "3: bad value 'f12' for bootloader: expected f11, f09 or none"},
        {"ubl_status_at_block = 3\n", "3: bad value '3' for ubl_status_at_block: expected BLOCK STATUS [TIMES]"},
        {"ubl_status_at_block = 3 0x80\n", "the status is a code from 1 to 0xFF other than 0x80"},
        {"ubl_unplug_at_block = 3 2\n", "expected BLOCK"},
        {"ubl_busy_at_command = 0x100\n", "the command is a code from 0 to 0xFF"},
        {"ubl_usage = 0x02\n", "expected 0x11, 0x01 or 0x0B"},
        {"ubl_version = 300\n", "expected a number from 0 to 0xFF"},
        {"touch_usage = 0x01\n", "touch_usage 0x01 needs the F09 bootloader"},
        {"bootloader = f09\n", "the F09 bootloader needs usage page 0xFF09 or 0xFF00"},
        {"ubl_sparkle = 1\n", "3: unknown key 'ubl_sparkle'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        std::string error;
        auto dev = fromScenario(c.keys, error);
        if (*c.error == '\0') {
            EXPECT_TRUE(dev) << error;
        } else {
            EXPECT_FALSE(dev);
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

}  // namespace
