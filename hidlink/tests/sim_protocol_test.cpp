#include "hidlink/sim_protocol.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include "platform/clock.h"
#include "sim/descriptor_builder.h"
#include "sim/table_device.h"

namespace {

using namespace hidlink::simwire;

std::vector<std::uint8_t> bodyOf(const Message& m) {
    auto frame = encode(m);
    return {frame.begin() + 4, frame.end()};
}

std::vector<std::uint8_t> r6Descriptor() { return sim::buildVendorDescriptor(sim::r6MaintenanceCollections()); }

// One of every message, with fields away from their defaults.
std::vector<Message> everyMessage() {
    return {
        Hello{7},
        Enumerate{},
        Open{3, 1, 2, hidlink::OpenMode::ReadOnly, 0x0102030405060708ull, "vorlick-diag (pid 77)"},
        GetFeature{{0x09, 0, 0}},
        SetFeature{{0x09, 0xAA, 0x55}},
        ReadInput{250, 64},
        Close{},
        ListDevices{},
        Unplug{0x01020304},
        Replug{9},
        SetFaults{2, 40, 0x1122334455667788ull, true},
        PushInput{1, 0, {0x01, 0x10, 0x20}},
        ReadFlash{4},
        Status{false, "device 9 is not on the bus"},
        HelloReply{1},
        EnumerateReply{{{0, 0, 0x3A1C, 0x0112, 0x0100, r6Descriptor()}, {4, 2, 0x046D, 0xC077, 0x0001, {}}}},
        FeatureReply{3, {0x04, 0x01, 0x02}},
        InputReply{hidlink::ReadStatus::Timeout, {}},
        DeviceList{{{0, 0x3A1C, 0x0112, 0x0100, 1, true, 0, 0, false}, {5, 1, 2, 3, 4, false, 10, 3, true}}},
        FlashReply{0x8000, 2, {0x12, 0x34, 0xFF}},
        Watch{},
        BusChanged{0x0102030405060708ull},
        ProgramHsync{3, 0x0201},
        HsyncProgrammed{0x15},
    };
}

TEST(SimWire, EveryMessageSurvivesARoundTrip) {
    const auto all = everyMessage();
    ASSERT_EQ(all.size(), std::variant_size_v<Message>);
    for (const auto& m : all) {
        SCOPED_TRACE(m.index());
        std::string why;
        const auto back = decodeBody(bodyOf(m), &why);
        ASSERT_TRUE(back) << why;
        EXPECT_EQ(*back, m);
    }
}

TEST(SimWire, FrameIsALittleEndianLengthThenOpcodeAndFields) {
    const std::vector<std::uint8_t> expected = {5, 0, 0, 0, 0x11, 0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(encode(Unplug{0x01020304}), expected);
}

TEST(SimWire, LengthPrefixOutsideItsBoundsIsRefused) {
    const auto len = [](std::uint32_t n) {
        const std::uint8_t p[4] = {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), std::uint8_t(n >> 24)};
        return bodyLength(std::span<const std::uint8_t, 4>(p, 4));
    };
    EXPECT_FALSE(len(0));
    EXPECT_EQ(len(1), 1u);
    EXPECT_EQ(len(kMaxBodyBytes), kMaxBodyBytes);
    EXPECT_FALSE(len(kMaxBodyBytes + 1));
    EXPECT_FALSE(len(0xFFFFFFFF));
}

TEST(SimWire, EveryTruncationAndAnyTrailingByteIsRefused) {
    for (const auto& m : everyMessage()) {
        const auto body = bodyOf(m);
        for (std::size_t n = 0; n < body.size(); ++n)
            EXPECT_FALSE(decodeBody(std::span(body).first(n))) << "message " << m.index() << " cut to " << n;
        auto longer = body;
        longer.push_back(0);
        EXPECT_FALSE(decodeBody(longer)) << "message " << m.index() << " with a trailing byte";
    }
}

TEST(SimWire, FieldsOutOfRangeAreRefused) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> body;
    };
    const auto le32 = [](std::uint32_t v) {
        return std::vector<std::uint8_t>{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                                         std::uint8_t(v >> 24)};
    };
    const auto cat = [](std::initializer_list<std::vector<std::uint8_t>> parts) {
        std::vector<std::uint8_t> out;
        for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    std::vector<std::uint8_t> bigReport(kMaxWireReport + 1, 0x09);
    const Case cases[] = {
        {"unknown opcode", {0x7F}},
        {"open mode 2", cat({{0x03}, le32(0), le32(0), le32(0), {2}, le32(1), le32(0), le32(0)})},
        // A program that names no owner id could pass for any other.
        {"open without an owner id", cat({{0x03}, le32(0), le32(0), le32(0), {0}, le32(0), le32(0), le32(0)})},
        {"flag byte 2", cat({{0x40, 2}, le32(0)})},
        {"read status 9", cat({{0x44, 9}, le32(0)})},
        {"empty feature report", cat({{0x04}, le32(0)})},
        {"feature report over the cap", cat({{0x05}, le32(kMaxWireReport + 1), bigReport})},
        {"byte string longer than the body", cat({{0x05}, le32(0xFFFFFFF0), {0x09}})},
        {"input buffer of 0", cat({{0x06}, le32(10), le32(0)})},
        {"input buffer over the cap", cat({{0x06}, le32(10), le32(kMaxWireReport + 1)})},
        {"list count that cannot fit", cat({{0x42}, le32(0x10000000)})},
        {"flash extent past its bytes", cat({{0x46}, le32(0x8000), le32(3), le32(2), {0xFF, 0xFF}})},
        {"descriptor over 4096",
         cat({{0x42}, le32(1), le32(0), le32(0), {0, 0, 0, 0, 0, 0}, le32(4097), std::vector<std::uint8_t>(4097, 0)})},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(decodeBody(c.body, &why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
    }
}

TEST(SimWire, RandomBytesNeverDecodeIntoSomethingUnsafe) {
    std::mt19937 rng(1234);
    for (int i = 0; i < 20000; ++i) {
        std::vector<std::uint8_t> body(rng() % 48);
        for (auto& b : body) b = static_cast<std::uint8_t>(rng());
        if (!body.empty()) body[0] = static_cast<std::uint8_t>(rng() % 0x48);  // mostly real opcodes
        if (auto m = decodeBody(body)) {
            // Whatever decodes must encode back to the very same bytes.
            EXPECT_EQ(bodyOf(*m), body);
        }
    }
}

TEST(SimWire, EnumerationAnswerBecomesCollectionsThroughTheSharedParser) {
    EnumerateReply reply;
    reply.interfaces.push_back({2, 0, 0x3A1C, 0x0112, 0x0100, r6Descriptor()});
    reply.interfaces.push_back({3, 0, 0x3A1C, 0x0113, 0x0100, {0x05, 0x01, 0xA1}});  // truncated: skipped
    reply.interfaces.push_back({4, 1, 0x3A1D, 0x0200, 0x0101, r6Descriptor()});
    const auto all = collectionsOf(reply, 100);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].identity, (hidlink::CollectionIdentity{0x3A1C, 0x0112, 0xFF11, 0x02}));
    EXPECT_EQ(all[1].path, "sim:dev2/if0");
    EXPECT_EQ(all[1].collectionIndex, 1u);
    EXPECT_TRUE(all[1].numbered);
    EXPECT_EQ(all[1].caps.featureReportLength, 66u);
    EXPECT_EQ(all[2].path, "sim:dev4/if1");
    EXPECT_EQ(all[2].versionNumber, 0x0101);
    EXPECT_EQ(collectionsOf(reply, 3).size(), 3u);

    std::uint32_t dev = 0, iface = 0;
    EXPECT_TRUE(parseInterfacePath("sim:dev4/if1", dev, iface));
    EXPECT_EQ(dev, 4u);
    EXPECT_EQ(iface, 1u);
    for (const char* bad : {"sim:dev4/if1x", "sim:dev/if1", "/dev/hidraw0", "sim:dev4/if999", ""})
        EXPECT_FALSE(parseInterfacePath(bad, dev, iface)) << bad;
}

class SimWireSocket : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
    void TearDown() override {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    void closePeer() {
        ::close(fds[1]);
        fds[1] = -1;
    }
    int fds[2] = {-1, -1};
    platform::VirtualClock clock;
};

TEST_F(SimWireSocket, MessageCrossesASocket) {
    ASSERT_EQ(sendMessage(fds[0], SetFaults{1, 2, 3, true}, clock, kNoDeadline), IoStatus::Ok);
    Message m;
    ASSERT_EQ(recvMessage(fds[1], m, clock, kNoDeadline), IoStatus::Ok);
    EXPECT_EQ(m, Message(SetFaults{1, 2, 3, true}));
}

TEST_F(SimWireSocket, HugeLengthPrefixIsRefusedBeforeReadingTheBody) {
    const std::uint8_t prefix[] = {0xFF, 0xFF, 0xFF, 0x7F};
    ASSERT_EQ(::write(fds[1], prefix, sizeof prefix), 4);
    Message m;
    std::string why;
    EXPECT_EQ(recvMessage(fds[0], m, clock, kNoDeadline, &why), IoStatus::BadMessage);
    EXPECT_NE(why.find("length"), std::string::npos);
}

TEST_F(SimWireSocket, PeerGoneMidMessageIsClosedNotAHang) {
    const auto frame = encode(GetFeature{{0x09, 1, 2, 3}});
    ASSERT_EQ(::write(fds[1], frame.data(), frame.size() - 2), static_cast<ssize_t>(frame.size() - 2));
    closePeer();
    Message m;
    EXPECT_EQ(recvMessage(fds[0], m, clock, kNoDeadline), IoStatus::Closed);
}

TEST_F(SimWireSocket, NothingArrivingByTheDeadlineIsATimeout) {
    Message m;
    EXPECT_EQ(recvMessage(fds[0], m, clock, clock.monotonicMs()), IoStatus::Timeout);
}

TEST_F(SimWireSocket, SendingToAVanishedPeerReportsClosedWithoutSigpipe) {
    closePeer();
    EXPECT_EQ(sendMessage(fds[0], Hello{}, clock, kNoDeadline), IoStatus::Closed);
}

}  // namespace
