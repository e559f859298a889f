#pragma once
// The HID backend interface: hidraw on a real machine, the simulator over a socket, or the
// simulator in-process for tests. Backends hand over descriptor bytes and raw transfers; the
// public Connection methods validate every request before a backend sees it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "hidlink/descriptor.h"
#include "hidlink/identity.h"

namespace hidlink {

// One present top-level collection, as enumeration found it.
struct CollectionDesc {
    CollectionIdentity identity;
    std::uint16_t versionNumber = 0;    // USB bcdDevice
    std::string path;                   // node the collection lives on (for display and reopen)
    std::uint32_t collectionIndex = 0;  // which top-level collection of that node
    bool numbered = false;
    TopCollection caps;
};

// The top-level collections one interface's descriptor declares, in order, as enumeration
// lists them; every backend describes its nodes through this one function.
std::vector<CollectionDesc> describeCollections(const ParsedDescriptor& parsed, std::uint32_t vendorId,
                                                std::uint32_t productId, std::uint16_t version,
                                                const std::string& path);

enum class OpenMode : std::uint8_t { Feature, ReadOnly };

// A present node that enumeration left out because it could not be opened.
struct SkippedNode {
    std::uint32_t vendorId = 0;
    std::uint32_t productId = 0;
    std::string path;
    std::string reason;  // the operating system's (or the simulator's) words, e.g. "Permission denied"
};

enum class ReadStatus : std::uint8_t { Ok, Timeout, Disconnected, Error };

struct ReadResult {
    ReadStatus status = ReadStatus::Error;
    std::size_t length = 0;  // bytes written to the buffer, report id first
};

// An open handle to one collection. Not thread-safe by itself: feature transfers come from one
// thread, input reads from the collection's reader thread; only cancelRead() may come from
// another thread.
class Connection {
public:
    explicit Connection(CollectionDesc desc);
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const CollectionDesc& desc() const { return desc_; }
    bool isOpen() const { return open_; }

    // report[0] holds the wanted report id; on success the answer fills report. The request
    // bytes after the id reach backends that can carry them (a vendor driver's collection, as the
    // simulator models it, reads its wrapper header there); hidraw sends the id alone. Bytes past
    // the answer read 0. False on a refused transfer or an invalid request.
    bool getFeature(std::span<std::uint8_t> report);
    // report[0] is the report id; the whole span is sent.
    bool setFeature(std::span<const std::uint8_t> report);
    // Waits at most timeoutMs for one input report; the report id is always byte 0.
    ReadResult readInput(std::span<std::uint8_t> buffer, int timeoutMs);
    // Wakes a readInput waiting in another thread; it and every later read return Disconnected.
    // For closing a collection under its reader; not to be called together with close().
    void cancelRead();
    void close();

    // Why the last transfer or read failed (the node and the operating system's or the
    // simulator's reason), for engineers' messages; empty after one that succeeded.
    const std::string& lastError() const { return lastError_; }

protected:
    // Hooks called after validation. doGetFeature returns the number of bytes the device
    // answered (report id included), or a value <= 0 on failure.
    virtual long doGetFeature(std::span<std::uint8_t> report) = 0;
    virtual bool doSetFeature(std::span<const std::uint8_t> report) = 0;
    virtual ReadResult doReadInput(std::span<std::uint8_t> buffer, int timeoutMs) = 0;
    virtual void doClose() = 0;
    // Ends a doReadInput blocked in another thread; safe to call while it runs.
    virtual void doCancelRead() {}
    void setLastError(std::string text) { lastError_ = std::move(text); }

private:
    bool validReportId(std::uint8_t id, const std::vector<std::uint8_t>& ids) const;
    bool validFeatureRequest(std::span<const std::uint8_t> report);
    CollectionDesc desc_;
    bool open_ = true;
    std::atomic<bool> readCancelled_{false};
    std::string lastError_;
};

// Says whether what enumeration lists may have changed since it last asked: a device plugged in
// or out, a node added, removed or changed. Hotplug events feed it; whoever holds one enumerates
// only when it says so.
class ChangeMonitor {
public:
    virtual ~ChangeMonitor() = default;
    // Never waits. True when an event came since the last call, and whenever the monitor cannot
    // tell (its source was lost or overran): a false alarm costs an enumeration, a missed one a
    // controller.
    virtual bool changed() = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    // A monitor of this backend's hotplug events, subscribed before it returns; nullptr when
    // none can be had (then callers enumerate every time, as they always did).
    virtual std::unique_ptr<ChangeMonitor> watchChanges() { return nullptr; }
    // Appends at most `limit` present collections, in enumeration order. False on a backend
    // failure (the simulator unreachable, the sysfs root unreadable); lastError() says why.
    virtual bool enumerate(std::vector<CollectionDesc>& out, std::size_t limit) = 0;
    // nullptr when the collection cannot be opened (gone, no permission).
    virtual std::unique_ptr<Connection> open(const CollectionDesc& desc, OpenMode mode) = 0;
    // Whether the node of `desc` can be opened for feature transfers right now, without taking
    // it: empty when it can, else the reason. Device locks are not consulted; a node another
    // program holds is still present and openable.
    virtual std::string probeOpen(const CollectionDesc& desc) {
        (void)desc;
        return {};
    }
    const std::string& lastError() const { return lastError_; }
    // Before a call whose failure may not be the backend's (an open that finds no match), so
    // an old reason is not shown for it.
    void clearLastError() { lastError_.clear(); }

protected:
    void setLastError(std::string text) { lastError_ = std::move(text); }

private:
    std::string lastError_;
};

// Hex-dump every request and answer on stderr (also switched on by VORLICK_HID_TRACE=1).
void setTrace(bool on);
bool traceEnabled();

// The backend VORLICK_HID selects: "hidraw" (default, also when unset or empty) or
// "sim:<socket path>". nullptr and one line in `error` for an unknown value or an
// unreachable simulator.
std::unique_ptr<Backend> makeBackendFromEnvironment(std::string& error);
std::unique_ptr<Backend> makeBackend(const std::string& spec, std::string& error);

}  // namespace hidlink
