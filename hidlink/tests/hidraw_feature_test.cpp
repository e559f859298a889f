// Feature transfers over hidraw with a stand-in for the kernel's HIDIOCGFEATURE and
// HIDIOCSFEATURE: what the node is asked, and what becomes of each kind of answer.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <functional>

#include "hidlink/hidraw_backend.h"
#include "hidlink/tests/sysfs_fixture.h"
#include "platform/clock.h"
#include "sim/descriptor_builder.h"

namespace {

using hidlink::CollectionDesc;
using hidlink::OpenMode;
using hidlink::fixture::FakeNode;
using sim::ReportSpec;
using Bytes = std::vector<std::uint8_t>;

// Records every request as the node received it and answers with `get` / `set`.
class FakeIo final : public hidlink::HidrawIo {
public:
    struct Request {
        Bytes bytes;  // get: the buffer as handed to the ioctl (its size is the ioctl's length)
    };
    int getFeature(int, std::span<std::uint8_t> buffer) override {
        gets.push_back({Bytes(buffer.begin(), buffer.end())});
        return get(buffer);
    }
    int setFeature(int, std::span<const std::uint8_t> report) override {
        sets.push_back({Bytes(report.begin(), report.end())});
        return set(report);
    }
    std::function<int(std::span<std::uint8_t>)> get = [](auto) { return -1; };
    std::function<int(std::span<const std::uint8_t>)> set = [](auto r) { return static_cast<int>(r.size()); };
    std::vector<Request> gets, sets;
};

// A device answering every get with its whole report: id, then 0xA0, 0xA1, ... for `length`
// bytes in all.
std::function<int(std::span<std::uint8_t>)> answers(std::size_t length) {
    return [length](std::span<std::uint8_t> b) {
        for (std::size_t i = 1; i < std::min(length, b.size()); ++i) b[i] = static_cast<std::uint8_t>(0xA0 + i - 1);
        return static_cast<int>(length);
    };
}

int failWith(int err) {
    errno = err;
    return -1;
}

// One node holding one collection, opened for feature transfers through a FakeIo.
// Numbered: feature 9 of 64 bytes and feature 10 of 16 (id included). Unnumbered: one feature
// report of 9 bytes (8 and the id byte the host counts).
struct Node {
    explicit Node(bool numbered) {
        const Bytes d = numbered ? sim::buildVendorDescriptor(
                                       {{0xFF11, 0x11, {{ReportSpec::Feature, 9, 64}, {ReportSpec::Feature, 10, 16}}}})
                                 : sim::buildVendorDescriptor({{0xFF11, 0x11, {{ReportSpec::Feature, 0, 9}}}});
        tree.add({1, 0x0003, 0x3A1C, 0x0100, 0x0100, d});
        backend.setLockDir(tree.lockDir());
        backend.setIo(io);
        std::vector<CollectionDesc> found;
        EXPECT_TRUE(backend.enumerate(found, 10));
        EXPECT_EQ(found.size(), 1u);
        if (found.empty()) return;
        EXPECT_EQ(found[0].numbered, numbered);
        conn = backend.open(found[0], OpenMode::Feature);
        EXPECT_NE(conn, nullptr) << backend.lastError();
    }

    hidlink::fixture::SysfsFixture tree;
    platform::VirtualClock clock;
    hidlink::HidrawBackend backend{tree.sysfsRoot(), tree.devRoot(), clock};
    FakeIo io;
    std::unique_ptr<hidlink::Connection> conn;
};

TEST(HidrawFeature, GetAsksForTheWholeReportAndKeepsOnlyWhatTheDeviceAnswered) {
    struct Case {
        const char* name;
        std::size_t asked;     // the caller's span
        std::size_t answered;  // what the ioctl returns
        bool ok;
        Bytes expected;  // the caller's span afterwards
    };
    const auto head = [](std::size_t n, std::size_t answered) {
        Bytes b(n, 0);
        b[0] = 9;
        for (std::size_t i = 1; i < std::min(n, answered); ++i) b[i] = static_cast<std::uint8_t>(0xA0 + i - 1);
        return b;
    };
    const Case cases[] = {
        {"whole report", 64, 64, true, head(64, 64)},
        {"caller wants the head only", 8, 64, true, head(8, 64)},
        // The request's own bytes past the answer must not pass for data.
        {"short answer", 64, 5, true, head(64, 5)},
        {"the id byte alone", 64, 1, true, head(64, 1)},
        {"more than asked is cut", 64, 5000, true, head(64, 64)},
        {"empty answer", 64, 0, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Node node(true);
        auto& conn = node.conn;
        auto& io = node.io;
        ASSERT_NE(conn, nullptr);
        io.get = answers(c.answered);
        Bytes report(c.asked, 0x55);
        report[0] = 9;
        EXPECT_EQ(conn->getFeature(report), c.ok) << conn->lastError();
        ASSERT_EQ(io.gets.size(), 1u);
        // hidraw sends the id alone, in a buffer sized for the collection's largest report.
        Bytes sent(64, 0);
        sent[0] = 9;
        EXPECT_EQ(io.gets[0].bytes, sent);
        if (c.ok)
            EXPECT_EQ(report, c.expected);
        else
            EXPECT_NE(conn->lastError().find("empty answer"), std::string::npos) << conn->lastError();
    }
}

TEST(HidrawFeature, ErrorsKeepTheNodeAndTheReasonAndAnInterruptIsRetried) {
    Node node(true);
    auto& conn = node.conn;
    auto& io = node.io;
    const std::string path = node.tree.devPath(1);
    ASSERT_NE(conn, nullptr);
    std::array<std::uint8_t, 16> report{10, 1, 2, 3};

    io.get = [](auto) { return failWith(EIO); };
    EXPECT_FALSE(conn->getFeature(report));
    EXPECT_EQ(conn->lastError(), "HIDIOCGFEATURE on " + path + ": Input/output error");

    io.set = [](auto) { return failWith(EPIPE); };
    EXPECT_FALSE(conn->setFeature(report));
    EXPECT_EQ(conn->lastError(), "HIDIOCSFEATURE on " + path + ": Broken pipe");

    io.set = [](auto) { return 3; };
    EXPECT_FALSE(conn->setFeature(report));
    EXPECT_EQ(conn->lastError(), "HIDIOCSFEATURE on " + path + ": sent 3 of 16 bytes");

    int calls = 0;
    io.get = [&calls](std::span<std::uint8_t> b) { return ++calls == 1 ? failWith(EINTR) : answers(16)(b); };
    io.set = [&calls](std::span<const std::uint8_t> r) {
        return ++calls == 3 ? failWith(EINTR) : static_cast<int>(r.size());
    };
    EXPECT_TRUE(conn->getFeature(report)) << conn->lastError();
    EXPECT_EQ(report[1], 0xA0);
    EXPECT_TRUE(conn->setFeature(report)) << conn->lastError();
    EXPECT_EQ(calls, 4);
}

TEST(HidrawFeature, SetSendsTheReportAsItIs) {
    Node node(true);
    auto& conn = node.conn;
    auto& io = node.io;
    ASSERT_NE(conn, nullptr);
    const Bytes report = {10, 0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF};
    EXPECT_TRUE(conn->setFeature(report)) << conn->lastError();
    ASSERT_EQ(io.sets.size(), 1u);
    EXPECT_EQ(io.sets[0].bytes, report);
}

TEST(HidrawFeature, TheIdByteOfNumberedAndUnnumberedDevices) {
    struct Case {
        const char* name;
        bool numbered;
        std::uint8_t id;
        std::size_t length;
        bool reachesTheNode;
    };
    const Case cases[] = {
        {"numbered, a declared id", true, 9, 64, true},
        {"numbered, id 0 is nobody's", true, 0, 64, false},
        {"numbered, an undeclared id", true, 11, 16, false},
        // The host counts the 0 byte it puts in front of an unnumbered report.
        {"unnumbered, id 0", false, 0, 9, true},
        {"unnumbered, any other id", false, 9, 9, false},
        {"unnumbered, longer than the report", false, 0, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Node node(c.numbered);
        auto& conn = node.conn;
        auto& io = node.io;
        ASSERT_NE(conn, nullptr);
        // The kernel leaves byte 0 as the host put it and fills the data after it.
        io.get = answers(c.length);
        Bytes report(c.length, 0);
        report[0] = c.id;
        EXPECT_EQ(conn->getFeature(report), c.reachesTheNode);
        EXPECT_EQ(conn->setFeature(report), c.reachesTheNode);
        EXPECT_EQ(io.gets.size(), c.reachesTheNode ? 1u : 0u);
        EXPECT_EQ(io.sets.size(), c.reachesTheNode ? 1u : 0u);
        if (!c.reachesTheNode) continue;
        EXPECT_EQ(io.gets[0].bytes.size(), c.length);
        EXPECT_EQ(io.gets[0].bytes[0], c.id);
        EXPECT_EQ(report[0], c.id);
        EXPECT_EQ(report[1], 0xA0);
        EXPECT_EQ(io.sets[0].bytes.size(), c.length);
        EXPECT_EQ(io.sets[0].bytes[0], c.id);
    }
}

}  // namespace
