#pragma once
// Where an input reader hands the reports of its collection. Calls come on the reader's thread;
// the report is valid only during the call, so a receiver copies what it keeps (the station
// window posts a copy to its event loop, the headless station and the tests queue one). A
// receiver never closes a collection from inside a call.
#include <cstdint>
#include <span>

namespace hidlink {

class ReportSink {
public:
    virtual ~ReportSink() = default;
    // One input report, report id first (a driver-mode wrapper already taken off).
    virtual void onReport(int key, std::span<const std::uint8_t> report) = 0;
    // The reader ended by itself: the device went away or its node failed. Not called for a
    // reader stopped by its owner or by the collection's close.
    virtual void onReaderEnded(int key) { (void)key; }
};

}  // namespace hidlink
