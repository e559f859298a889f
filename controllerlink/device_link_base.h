#pragma once
// The part of a controller collection's link object that discovery owns: its key, whether it
// is open, the maker's collections seen at the last enumeration and the identity it opened.
// The station's command set (station/device) derives from it.
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "hidlink/device_table.h"
#include "hidlink/identity.h"

namespace controllerlink {

inline constexpr int TOUCH_KEY = 1;
inline constexpr int PEN_KEY = 2;
// How many collections the station and the writer take from one enumeration.
inline constexpr std::size_t kStationEnumerationLimit = 100;
inline constexpr std::size_t kWriterEnumerationLimit = 51;
inline constexpr std::size_t kFoundListSize = 100;

class DeviceLinkBase {
public:
    DeviceLinkBase(hidlink::DeviceTable& table, int key) : table_(table), key_(key) {}
    virtual ~DeviceLinkBase() = default;
    DeviceLinkBase(const DeviceLinkBase&) = delete;
    DeviceLinkBase& operator=(const DeviceLinkBase&) = delete;

    int key() const { return key_; }
    hidlink::DeviceTable& table() { return table_; }
    bool isOpen() const { return isOpen_; }

    // Enumerates and keeps, in order, the collections of VID_PRIMARY or VID_SECONDARY that
    // could be opened.
    std::size_t refreshFoundList();
    // The maker's nodes the last refresh left out because they could not be opened.
    const std::vector<hidlink::SkippedNode>& skipped() const { return skipped_; }
    std::size_t found() const { return found_; }
    const std::array<hidlink::CollectionIdentity, kFoundListSize>& foundList() const { return foundList_; }

    // Opens `id` under this object's key; on success isOpen, openedIdentity and info are set,
    // on failure openedIdentity is all zero.
    bool open(const hidlink::CollectionIdentity& id);
    // Stops this key's readers (a derived class adds its own), closes the entry. Idempotent.
    virtual void close();

    // The input reader of this key's collection: each input report goes to `sink` on the
    // reader's thread. False when the key is not open or a reader runs already.
    bool startInputReader(hidlink::ReportSink& sink);
    // Waits for the reader to end; nothing when none runs.
    void stopInputReader();
    bool inputReaderRunning() const;

    const hidlink::CollectionIdentity& openedIdentity() const { return openedIdentity_; }
    const hidlink::DeviceInfo& info() const { return info_; }

    // Why the last failed enumeration, open or operation of this link failed: the node and the
    // operating system's or the simulator's reason, or the answer that did not fit. For
    // diagnostic channels (engineers' tools, stderr); the operator's messages stay as they are.
    const std::string& lastError() const { return lastError_; }
    // Takes the reason of the transfer on `key` that just failed from its connection (also for
    // helpers that transfer on this link's table themselves).
    void noteTransferFailure(int key);

protected:
    void setLastError(std::string text) { lastError_ = std::move(text); }

    // Hook for derived classes: stop the frame reader before the entry goes.
    virtual void stopFrameReader() {}

private:
    hidlink::DeviceTable& table_;
    const int key_;
    bool isOpen_ = false;
    std::size_t found_ = 0;
    std::array<hidlink::CollectionIdentity, kFoundListSize> foundList_{};
    std::vector<hidlink::SkippedNode> skipped_;
    hidlink::CollectionIdentity openedIdentity_{};
    hidlink::DeviceInfo info_{};
    std::string lastError_;
};

}  // namespace controllerlink
