#include "sim/sim_server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "controllerlink/vendor_ids.h"
#include "hidlink/sim_protocol.h"
#include "hidlink/socket_backend.h"
#include "platform/clock.h"
#include "sim/sim_control.h"
#include "sim/table_device.h"
#include "test_support.h"

namespace {

using hidlink::CollectionDesc;
using hidlink::OpenMode;
using hidlink::ReadStatus;

constexpr int kCallTimeoutMs = 2000;

class SimServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        device = std::make_shared<sim::TableDevice>(
            sim::UsbIdentity{static_cast<std::uint16_t>(controllerlink::VID_PRIMARY), 0x0112, 0x0100},
            std::vector<std::vector<sim::CollectionSpec>>{sim::r6MaintenanceCollections()});
        device->setAnswer(0, {0x04, 1, 2, 3});
        deviceId = bus.addDevice(device);
        std::string error;
        ASSERT_TRUE(server.start(socket, error)) << error;
    }

    std::unique_ptr<hidlink::Backend> client() {
        std::string error;
        auto b = hidlink::connectSocketBackend(socket, error, kCallTimeoutMs, platform::systemClock());
        EXPECT_TRUE(b) << error;
        return b;
    }

    static CollectionDesc find(hidlink::Backend& b, std::uint32_t usage) {
        std::vector<CollectionDesc> all;
        EXPECT_TRUE(b.enumerate(all, 100)) << b.lastError();
        for (auto& d : all)
            if (d.identity.usage == usage) return d;
        ADD_FAILURE() << "no collection with usage " << usage;
        return {};
    }

    // The server's threads release a departed client on their own; give them a bounded while.
    bool readersDropTo(std::size_t n) {
        for (int i = 0; i < 500 && server.openReaders() != n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return server.openReaders() == n;
    }

    simtest::TempDir dir;
    std::string socket = dir.file("sim.sock");
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    std::shared_ptr<sim::TableDevice> device;
    int deviceId = -1;
    sim::SimServer server{bus};
    sim::SimControl control{socket, kCallTimeoutMs};
};

TEST_F(SimServerTest, ClientSeesTheCollectionsTheBusHas) {
    // The second device has a bad descriptor; the bus and the client both skip it.
    bus.addDevice(std::make_shared<sim::TableDevice>(
        sim::UsbIdentity{0x046D, 0xC077, 1},
        std::vector<std::vector<sim::CollectionSpec>>{{{0x0001, 0x02, {{sim::ReportSpec::Feature, 0, 9000}}}},
                                                      sim::r6MaintenanceCollections()}));
    sim::InProcessBackend local(bus);
    std::vector<CollectionDesc> expected, got;
    ASSERT_TRUE(local.enumerate(expected, 100));
    auto remote = client();
    ASSERT_TRUE(remote->enumerate(got, 100)) << remote->lastError();
    ASSERT_EQ(got.size(), expected.size());
    ASSERT_EQ(got.size(), 4u);
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].identity, expected[i].identity);
        EXPECT_EQ(got[i].versionNumber, expected[i].versionNumber);
        EXPECT_EQ(got[i].path, expected[i].path);
        EXPECT_EQ(got[i].collectionIndex, expected[i].collectionIndex);
        EXPECT_EQ(got[i].numbered, expected[i].numbered);
        EXPECT_EQ(got[i].caps.featureReportLength, expected[i].caps.featureReportLength);
        EXPECT_EQ(got[i].caps.inputReportLength, expected[i].caps.inputReportLength);
        EXPECT_EQ(got[i].caps.featureReportIds, expected[i].caps.featureReportIds);
        EXPECT_EQ(got[i].caps.valueCaps.size(), expected[i].caps.valueCaps.size());
    }
    got.clear();
    ASSERT_TRUE(remote->enumerate(got, 3));
    EXPECT_EQ(got.size(), 3u);
}

TEST_F(SimServerTest, SetFromOneClientIsSeenByAnotherAndAnswersKeepTheirBytes) {
    // Two sockets of one program: another program could not open the device at all.
    auto a = client();
    auto* b = a.get();
    auto fa = a->open(find(*a, 0x11), OpenMode::Feature);
    auto fb = b->open(find(*b, 0x11), OpenMode::Feature);
    ASSERT_TRUE(fa && fb);

    std::vector<std::uint8_t> get(16, 0);
    get[0] = 0x04;
    ASSERT_TRUE(fb->getFeature(get)) << fb->lastError();
    EXPECT_EQ(get, (std::vector<std::uint8_t>{0x04, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    std::vector<std::uint8_t> set(64, 0);
    set[0] = 0x09;
    for (std::size_t i = 1; i < set.size(); ++i) set[i] = static_cast<std::uint8_t>(i * 3);
    ASSERT_TRUE(fa->setFeature(set)) << fa->lastError();
    std::vector<std::uint8_t> back(64, 0xEE);
    back[0] = 0x09;
    ASSERT_TRUE(fb->getFeature(back)) << fb->lastError();
    EXPECT_EQ(back, set);

    // No answer for report 2: the device refuses, the client says so.
    std::vector<std::uint8_t> mode(2, 0);
    mode[0] = 0x02;
    EXPECT_FALSE(fb->getFeature(mode));
    EXPECT_FALSE(fb->lastError().empty());
}

TEST_F(SimServerTest, FaultsSetThroughTheControlChannelRefuseTransfers) {
    auto b = client();
    auto f = b->open(find(*b, 0x11), OpenMode::Feature);
    ASSERT_TRUE(f);
    std::vector<std::uint8_t> get(16, 0);
    get[0] = 0x04;

    ASSERT_TRUE(control.setFaults(static_cast<std::uint32_t>(deviceId), 0, 2, false)) << control.error();
    EXPECT_TRUE(f->getFeature(get));
    EXPECT_FALSE(f->getFeature(get));  // the second transfer from now
    EXPECT_TRUE(f->getFeature(get));

    ASSERT_TRUE(control.setFaults(static_cast<std::uint32_t>(deviceId), 25, 0, true));
    EXPECT_FALSE(f->setFeature(get));
    EXPECT_FALSE(f->getFeature(get));

    std::vector<hidlink::simwire::DeviceState> list;
    ASSERT_TRUE(control.list(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].latencyMs, 25u);
    EXPECT_TRUE(list[0].refuseAll);
    EXPECT_GE(clock.sleptMs(), 25u);  // the latency ran on the bus clock
    EXPECT_FALSE(
        control.setFaults(static_cast<std::uint32_t>(deviceId), hidlink::simwire::kMaxLatencyMs + 1, 0, false));
    EXPECT_FALSE(control.setFaults(99, 0, 0, false));
    EXPECT_NE(control.error().find("99"), std::string::npos);
}

TEST_F(SimServerTest, UnplugDropsTheDeviceAndReplugBringsItBack) {
    auto b = client();
    const CollectionDesc touch = find(*b, 0x11);
    auto f = b->open(touch, OpenMode::Feature);
    auto r = b->open(touch, OpenMode::ReadOnly);
    ASSERT_TRUE(f && r);

    ASSERT_TRUE(control.unplug(static_cast<std::uint32_t>(deviceId))) << control.error();
    std::vector<CollectionDesc> all;
    ASSERT_TRUE(b->enumerate(all, 100));
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(b->open(touch, OpenMode::Feature), nullptr);
    EXPECT_FALSE(b->lastError().empty());
    std::vector<std::uint8_t> get(16, 0);
    get[0] = 0x04;
    EXPECT_FALSE(f->getFeature(get));
    std::vector<std::uint8_t> in(64);
    EXPECT_EQ(r->readInput(in, 50).status, ReadStatus::Disconnected);
    EXPECT_FALSE(control.pushInput(static_cast<std::uint32_t>(deviceId), 0, {0x01, 1}));

    ASSERT_TRUE(control.replug(static_cast<std::uint32_t>(deviceId)));
    ASSERT_TRUE(b->enumerate(all, 100));
    EXPECT_EQ(all.size(), 2u);
    EXPECT_FALSE(f->getFeature(get)) << "a handle from before the unplug stays dead";
    auto again = b->open(find(*b, 0x11), OpenMode::Feature);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->getFeature(get)) << again->lastError();
}

TEST_F(SimServerTest, PushedInputReachesEveryReaderAndOnlyReaders) {
    // Two sockets of one program: another program could not open the device at all.
    auto a = client();
    auto* b = a.get();
    auto ra = a->open(find(*a, 0x11), OpenMode::ReadOnly);
    auto rb = b->open(find(*b, 0x11), OpenMode::ReadOnly);
    auto feature = a->open(find(*a, 0x11), OpenMode::Feature);
    ASSERT_TRUE(ra && rb && feature);

    ASSERT_TRUE(control.pushInput(static_cast<std::uint32_t>(deviceId), 0, {0x01, 0xAA, 0xBB})) << control.error();
    for (auto* r : {ra.get(), rb.get()}) {
        std::vector<std::uint8_t> in(64, 0);
        const auto got = r->readInput(in, 2000);
        ASSERT_EQ(got.status, ReadStatus::Ok);
        ASSERT_EQ(got.length, 3u);
        EXPECT_EQ(in[1], 0xAA);
        EXPECT_EQ(in[2], 0xBB);
    }
    std::vector<std::uint8_t> in(64);
    EXPECT_EQ(ra->readInput(in, 0).status, ReadStatus::Timeout);
    EXPECT_EQ(feature->readInput(in, 0).status, ReadStatus::Error);
    EXPECT_FALSE(control.pushInput(static_cast<std::uint32_t>(deviceId), 3, {0x01}));
}

TEST_F(SimServerTest, BlockedReaderDoesNotHoldUpFeatureTransfersOfTheSameClient) {
    auto b = client();
    const CollectionDesc touch = find(*b, 0x11);
    auto reader = b->open(touch, OpenMode::ReadOnly);
    auto feature = b->open(touch, OpenMode::Feature);
    ASSERT_TRUE(reader && feature);
    auto pending = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> in(64);
        return reader->readInput(in, 30000).status;
    });
    // If transfers queued behind the read, this would time out: the read only ends when the
    // input below arrives, and that comes after the transfer.
    std::vector<std::uint8_t> get(16, 0);
    get[0] = 0x04;
    EXPECT_TRUE(feature->getFeature(get)) << feature->lastError();
    ASSERT_TRUE(control.pushInput(static_cast<std::uint32_t>(deviceId), 0, {0x01, 7}));
    EXPECT_EQ(pending.get(), ReadStatus::Ok);
}

TEST_F(SimServerTest, ACancelEndsAReadThatWaits) {
    auto b = client();
    auto reader = b->open(find(*b, 0x11), OpenMode::ReadOnly);
    ASSERT_TRUE(reader);
    auto pending = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> in(64);
        return reader->readInput(in, 60000).status;  // no input is ever pushed
    });
    while (bus.waitingReads() == 0) std::this_thread::yield();  // the server waits for the client
    reader->cancelRead();
    EXPECT_EQ(pending.get(), ReadStatus::Disconnected);
    reader->close();
    EXPECT_TRUE(readersDropTo(0));
}

TEST_F(SimServerTest, ClientGoingAwayReleasesItsReaders) {
    {
        auto b = client();
        auto reader = b->open(find(*b, 0x11), OpenMode::ReadOnly);
        ASSERT_TRUE(reader);
        EXPECT_EQ(server.openReaders(), 1u);
    }
    EXPECT_TRUE(readersDropTo(0));

    // A client that dies in the middle of a read, without a word.
    auto b = client();
    const CollectionDesc touch = find(*b, 0x11);
    hidlink::simwire::Channel raw(socket, platform::systemClock(), kCallTimeoutMs);
    std::string error;
    hidlink::simwire::Message answer;
    ASSERT_TRUE(raw.connect(error)) << error;
    ASSERT_TRUE(raw.call(hidlink::simwire::Open{static_cast<std::uint32_t>(deviceId), 0, touch.collectionIndex,
                                                OpenMode::ReadOnly, 1, "t"},
                         answer, 0, error))
        << error;
    raw.sendOnly(hidlink::simwire::ReadInput{60000, 64});
    raw.drop();
    EXPECT_TRUE(readersDropTo(0));
}

TEST_F(SimServerTest, ServerRefusesWhatADeviceMustNotSee) {
    using namespace hidlink::simwire;
    Channel raw(socket, platform::systemClock(), kCallTimeoutMs);
    std::string error;
    Message answer;
    ASSERT_TRUE(raw.connect(error)) << error;
    EXPECT_FALSE(raw.call(GetFeature{{0x04, 0}}, answer, 0, error)) << "nothing open yet";
    EXPECT_FALSE(raw.call(Open{99, 0, 0, OpenMode::Feature, 1, "t"}, answer, 0, error));
    ASSERT_TRUE(raw.call(Open{static_cast<std::uint32_t>(deviceId), 0, 0, OpenMode::Feature, 1, "t"}, answer, 0, error))
        << error;
    EXPECT_FALSE(
        raw.call(Open{static_cast<std::uint32_t>(deviceId), 0, 0, OpenMode::Feature, 1, "t"}, answer, 0, error));
    // Longer than any feature report of the touch collection (64 bytes).
    EXPECT_FALSE(raw.call(SetFeature{std::vector<std::uint8_t>(65, 0x09)}, answer, 0, error));
    EXPECT_NE(error.find("65"), std::string::npos);
    EXPECT_TRUE(device->setsReceived(0).empty());
    EXPECT_FALSE(raw.call(ReadInput{0, 64}, answer, 0, error)) << "not opened for reading";
    EXPECT_FALSE(raw.call(Status{}, answer, 0, error)) << "an answer is no request";
    EXPECT_TRUE(raw.connected());

    // A frame that lies about its length ends the conversation after one line of why.
    const std::uint8_t bad[] = {0x00, 0x00, 0x00, 0x10};  // 256 MiB
    hidlink::simwire::Channel other(socket, platform::systemClock(), kCallTimeoutMs);
    ASSERT_TRUE(other.connect(error));
    std::string ignored;
    const int fd = hidlink::simwire::connectUnixSocket(socket, ignored);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bad, sizeof bad), 4);
    Message reply;
    std::string why;
    ASSERT_EQ(recvMessage(fd, reply, platform::systemClock(), platform::systemClock().monotonicMs() + 2000, &why),
              IoStatus::Ok);
    ASSERT_TRUE(std::holds_alternative<Status>(reply));
    EXPECT_FALSE(std::get<Status>(reply).ok);
    EXPECT_EQ(recvMessage(fd, reply, platform::systemClock(), platform::systemClock().monotonicMs() + 2000),
              IoStatus::Closed);
    ::close(fd);
    EXPECT_TRUE(other.call(Hello{}, answer, 0, error)) << "other clients carry on";
}

// The simulator's events cross a socket and a server thread: give them a bounded while.
bool eventArrives(hidlink::ChangeMonitor& monitor) {
    for (int i = 0; i < 500; ++i) {
        if (monitor.changed()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The sim backend's hotplug monitor hears of every change of the bus through the simulator's
// feed, the return of a re-enumerated device on the bus clock included.
TEST_F(SimServerTest, TheHotplugFeedReportsEveryChangeOfTheBus) {
    auto b = client();
    auto monitor = b->watchChanges();
    ASSERT_TRUE(monitor);
    EXPECT_FALSE(monitor->changed());
    const auto did = static_cast<std::uint32_t>(deviceId);
    struct Step {
        const char* name;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"ctl unplug", [&] { ASSERT_TRUE(control.unplug(did)) << control.error(); }},
        {"ctl replug", [&] { ASSERT_TRUE(control.replug(did)) << control.error(); }},
        {"re-enumeration leaves", [&] { bus.reenumerate(*device, 500); }},
        {"and comes back", [&] { clock.advance(500); }},
        {"another device",
         [&] {
             bus.addDevice(std::make_shared<sim::TableDevice>(
                 sim::UsbIdentity{0x046D, 0xC077, 1},
                 std::vector<std::vector<sim::CollectionSpec>>{sim::r6MaintenanceCollections()}));
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        EXPECT_TRUE(eventArrives(*monitor));
        EXPECT_FALSE(monitor->changed()) << "one change, one event";
    }
}

// A simulator that goes away cannot tell of changes: the monitor says "changed" (the station
// enumerates and finds nothing) until it hears the restarted simulator's feed again.
TEST_F(SimServerTest, AHotplugFeedLostToARestartIsTakenUpAgain) {
    auto b = client();
    auto monitor = b->watchChanges();
    ASSERT_TRUE(monitor);
    server.stop();
    EXPECT_TRUE(monitor->changed());
    EXPECT_TRUE(monitor->changed());
    std::string error;
    ASSERT_TRUE(server.start(socket, error)) << error;
    EXPECT_TRUE(monitor->changed()) << "listening anew";
    EXPECT_FALSE(monitor->changed());
    bus.unplug(deviceId);
    EXPECT_TRUE(eventArrives(*monitor));
}

TEST_F(SimServerTest, StoppedServerMakesEveryCallFailAndFreesBlockedReaders) {
    auto b = client();
    const CollectionDesc touch = find(*b, 0x11);
    auto reader = b->open(touch, OpenMode::ReadOnly);
    auto feature = b->open(touch, OpenMode::Feature);
    ASSERT_TRUE(reader && feature);
    auto pending = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> in(64);
        return reader->readInput(in, 60000).status;
    });
    server.stop();
    EXPECT_EQ(pending.get(), ReadStatus::Disconnected);
    struct stat st {};
    EXPECT_NE(::lstat(socket.c_str(), &st), 0) << "the socket file is gone";

    std::vector<CollectionDesc> all;
    EXPECT_FALSE(b->enumerate(all, 100));
    EXPECT_NE(b->lastError().find(socket), std::string::npos) << b->lastError();
    std::vector<std::uint8_t> get(16, 0);
    get[0] = 0x04;
    EXPECT_FALSE(feature->getFeature(get));
    EXPECT_FALSE(feature->setFeature(get));
    std::vector<std::uint8_t> in(64);
    EXPECT_EQ(reader->readInput(in, 60000).status, ReadStatus::Disconnected);
    EXPECT_EQ(b->open(touch, OpenMode::Feature), nullptr);
}

TEST_F(SimServerTest, SocketsBeyondTheCapAreTurnedAwayWithAReason) {
    std::vector<int> held;
    std::string error;
    for (int i = 0; i < 256; ++i) {
        const int fd = hidlink::simwire::connectUnixSocket(socket, error);
        ASSERT_GE(fd, 0) << error;
        held.push_back(fd);
    }
    hidlink::simwire::Channel extra(socket, platform::systemClock(), kCallTimeoutMs);
    EXPECT_FALSE(extra.connect(error));
    EXPECT_NE(error.find("at most"), std::string::npos) << error;
    EXPECT_FALSE(extra.connected()) << "a refused hello leaves no half-open channel";
    for (int fd : held) ::close(fd);
    held.clear();
    // Once the others are gone there is room again.
    bool connected = false;
    for (int i = 0; i < 500 && !connected; ++i) {
        connected = extra.connect(error);
        if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(connected) << error;
}

// A small server: two sockets at most, 100 ms for the rest of a message once it has begun.
class LimitedServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(socket, error)) << error;
    }
    int rawClient() {
        std::string error;
        const int fd = hidlink::simwire::connectUnixSocket(socket, error);
        EXPECT_GE(fd, 0) << error;
        return fd;
    }
    // The next answer on a raw socket; the bound is only there so a fault fails instead of hanging.
    hidlink::simwire::IoStatus answer(int fd, hidlink::simwire::Message& m) {
        platform::Clock& real = platform::systemClock();
        return hidlink::simwire::recvMessage(fd, m, real, real.monotonicMs() + 10000);
    }
    static std::string refusal(const hidlink::simwire::Message& m) {
        const auto* st = std::get_if<hidlink::simwire::Status>(&m);
        return st != nullptr && !st->ok ? st->error : std::string("(no refusal)");
    }

    simtest::TempDir dir;
    std::string socket = dir.file("sim.sock");
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::SimServer server{bus, platform::systemClock(), sim::SimServerLimits{2, 100}};
};

TEST_F(LimitedServerTest, AStalledHalfMessageIsDroppedAndFreesItsPlace) {
    using namespace hidlink::simwire;
    const std::uint8_t halfPrefix[] = {0x10, 0x00};
    std::vector<int> stalled;
    for (int i = 0; i < 2; ++i) {
        stalled.push_back(rawClient());
        ASSERT_EQ(::write(stalled.back(), halfPrefix, sizeof halfPrefix), 2);
    }
    for (int fd : stalled) {
        Message m;
        ASSERT_EQ(answer(fd, m), IoStatus::Ok);
        EXPECT_EQ(refusal(m), "the rest of the message did not come within 100 ms");
        EXPECT_EQ(answer(fd, m), IoStatus::Closed);
        ::close(fd);
    }
    // Their places are free again (the server joins their threads on its next turn).
    Channel next(socket, platform::systemClock(), kCallTimeoutMs);
    std::string error;
    bool connected = false;
    for (int i = 0; i < 500 && !connected; ++i) {
        connected = next.connect(error);
        if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(connected) << error;
}

TEST_F(LimitedServerTest, ASocketPastTheCapCanStillSayHelloAndReadWhy) {
    using namespace hidlink::simwire;
    const int idle1 = rawClient(), idle2 = rawClient();  // silent, but whole: they keep their places
    Channel held(socket, platform::systemClock(), kCallTimeoutMs);
    // The third is turned away. Its client may be slow to send its hello: the reason is already
    // waiting, and the hello must still go through rather than fail on a closed socket.
    const int late = rawClient();
    pollfd p{late, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    EXPECT_EQ(sendMessage(late, Hello{}, platform::systemClock(), platform::systemClock().monotonicMs() + 1000),
              IoStatus::Ok);
    Message m;
    ASSERT_EQ(answer(late, m), IoStatus::Ok);
    EXPECT_EQ(refusal(m), "the simulator serves 2 connections at most and all are in use");
    EXPECT_EQ(answer(late, m), IoStatus::Closed);
    ::close(late);

    std::string error;
    EXPECT_FALSE(held.connect(error));
    EXPECT_EQ(error, "the simulator serves 2 connections at most and all are in use");
    ::close(idle1);
    ::close(idle2);
}

TEST(SimServerStart, ReplacesOnlyAStaleSocket) {
    simtest::TempDir dir;
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    std::string error;

    const std::string file = dir.file("notes.txt");
    std::ofstream(file) << "keep me";
    sim::SimServer onFile{bus};
    EXPECT_FALSE(onFile.start(file, error));
    EXPECT_NE(error.find("not a socket"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(file));

    const std::string sock = dir.file("s.sock");
    sim::SimServer first{bus}, second{bus};
    ASSERT_TRUE(first.start(sock, error)) << error;
    EXPECT_FALSE(second.start(sock, error)) << "a live simulator keeps its socket";
    EXPECT_NE(error.find("already"), std::string::npos);

    // A socket file left behind by a simulator that died is taken over.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string stale = dir.file("stale.sock");
    std::memcpy(addr.sun_path, stale.c_str(), stale.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    sim::SimServer third{bus};
    EXPECT_TRUE(third.start(stale, error)) << error;

    EXPECT_FALSE(second.start(std::string(200, 'x'), error));
}

}  // namespace
