#pragma once
// The table of open collections, by the small integer key every caller names a collection with.
// Each entry holds two connections to the same collection: one for feature transfers and one
// that only the input reader uses.
//
// Entries are shared handles: the UI thread opens and closes, reader threads read through the
// handle they took, and a close never frees an entry that a reader still holds. Closing marks
// the entry closed, wakes a read that waits on it, waits for the transfer in progress and only
// then closes the connections; every later call through the handle fails as disconnected.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "hidlink/backend.h"
#include "hidlink/identity.h"
#include "hidlink/report_sink.h"

namespace platform {
class Clock;
}

namespace hidlink {

// How often a table that follows hotplug events enumerates all the same: a change that brings no
// event (a node's permissions set by hand) is seen within this time.
inline constexpr std::uint64_t kSafetyEnumerationMs = 5000;
// The longest an input read waits before the reader looks at its stop flag again.
inline constexpr int kInputPollMs = 50;

// A copy of an entry without its key (what the status panel and the F/W check read).
struct DeviceInfo {
    bool valid = false;
    CollectionIdentity identity;
    std::uint16_t versionNumber = 0;
    std::string path;
    bool numbered = false;
    TopCollection caps;  // report lengths and value capabilities of the collection
};

class DeviceTableEntry : public std::enable_shared_from_this<DeviceTableEntry> {
public:
    DeviceTableEntry(int key, std::unique_ptr<Connection> feature, std::unique_ptr<Connection> read, DeviceInfo info);
    ~DeviceTableEntry();
    DeviceTableEntry(const DeviceTableEntry&) = delete;
    DeviceTableEntry& operator=(const DeviceTableEntry&) = delete;

    int key() const { return key_; }
    const DeviceInfo& info() const { return info_; }
    bool closed() const { return closed_; }

    // Feature transfers, as Connection's; one at a time per entry, from any thread (the UI
    // thread's commands and the raw viewer's frame reader share the touch collection).
    bool getFeature(std::span<std::uint8_t> report);
    bool setFeature(std::span<const std::uint8_t> report);
    // The input reader's read; Disconnected once the entry is closed, also for a read that
    // was already waiting when the close came.
    ReadResult readInput(std::span<std::uint8_t> buffer, int timeoutMs);
    // Why the last feature transfer failed (node and the backend's reason); empty after a success.
    std::string featureError();

    // The collection's input reader: a thread that reads input reports (waiting at most
    // kInputPollMs at a time, so a stop is seen) and hands each to `sink`. On a collection of
    // usage 0x0A or 0x0B a report whose byte 0 is 15 is a wrapper: the report is its bytes from 1
    // on. False when the entry is closed or a reader runs.
    bool startInputReader(ReportSink& sink);
    // Stops the reader and waits for it without limit; false when none runs.
    bool stopInputReader();
    bool inputReaderRunning();

    // Set while no reader may run: from the open until a reader starts, and from the close on.
    std::atomic<bool> stopReader{true};

private:
    friend class DeviceTable;
    void close();
    void readLoop(ReportSink& sink);
    // Joins the reader unless called on it (a receiver that broke the rule): then it is left
    // to end by itself.
    void joinReader();

    const int key_;
    const DeviceInfo info_;
    std::atomic<bool> closed_{false};
    std::mutex featureMutex_;
    std::mutex readMutex_;
    std::unique_ptr<Connection> feature_;
    std::unique_ptr<Connection> read_;
    std::mutex readerMutex_;  // starts and stops take turns
    std::thread reader_;
};

class DeviceTable {
public:
    explicit DeviceTable(Backend& backend) : backend_(&backend) {}
    ~DeviceTable();
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    Backend& backend() { return *backend_; }

    // From now on the table enumerates only after a hotplug event of the backend (or
    // kSafetyEnumerationMs after its last enumeration) and answers from its last enumeration in
    // between; a station waiting for a controller then costs next to nothing per tick. Without a
    // monitor (the backend has none, or it cannot be had) every call enumerates, as before.
    // True when events are followed.
    bool followHotplug(platform::Clock& clock);
    // The same with the given monitor (tests, benchmarks); nullptr enumerates every time.
    void followHotplug(std::unique_ptr<ChangeMonitor> monitor, platform::Clock& clock);

    // Present collections that could be opened, in enumeration order, at most `limit`; 0 when
    // none or on failure. A node that cannot be opened is left out with all its collections and
    // named, once, in `skipped` when given.
    std::size_t enumerateCollections(std::vector<CollectionIdentity>& out, std::size_t limit,
                                     std::vector<SkippedNode>* skipped = nullptr);
    // Opens the first present collection that matches (usage 0 matches any usage) under `key`.
    // False at once, the table untouched, when `key` is already open.
    bool openCollection(std::uint32_t vendorId, std::uint32_t productId, std::uint32_t usagePage, std::uint32_t usage,
                        int key);
    // The same, read-only: the entry has no feature connection (its feature transfers fail), for
    // a collection only listened to, such as the system's digitizer that another driver owns.
    bool openInputCollection(std::uint32_t vendorId, std::uint32_t productId, std::uint32_t usagePage,
                             std::uint32_t usage, int key);
    // Removes the entry and closes it (see above), its input reader included; returns once no
    // transfer runs on it and its reader has ended.
    bool closeCollection(int key);
    // The input reader of `key` (see DeviceTableEntry); false when the key is absent.
    bool startInputReader(int key, ReportSink& sink);
    bool stopInputReader(int key);
    bool getCollectionInfo(int key, DeviceInfo& out) const;

    bool contains(int key) const { return entry(key) != nullptr; }
    std::size_t size() const;
    // The entry of `key`, or nullptr. The handle stays usable after the key is closed; its
    // transfers then fail.
    std::shared_ptr<DeviceTableEntry> entry(int key) const;

private:
    bool openMatching(std::uint32_t vendorId, std::uint32_t productId, std::uint32_t usagePage, std::uint32_t usage,
                      int key, bool inputOnly);
    // Brings `present_` up to date: enumerates unless hotplug events are followed and none came.
    // False when the backend cannot enumerate.
    bool refreshPresentLocked();

    Backend* backend_;
    mutable std::mutex mutex_;  // guards entries_ (lookups may come from reader threads)
    std::vector<std::shared_ptr<DeviceTableEntry>> entries_;

    // The last enumeration, with the probe result of each node once it was probed.
    std::mutex presentMutex_;
    std::unique_ptr<ChangeMonitor> monitor_;  // set while hotplug events are followed
    platform::Clock* clock_ = nullptr;
    bool presentValid_ = false;
    std::uint64_t enumeratedAtMs_ = 0;
    std::vector<CollectionDesc> present_;
    std::vector<std::optional<std::string>> probeReasons_;  // per entry of present_, once probed; empty: it opens
};

}  // namespace hidlink
