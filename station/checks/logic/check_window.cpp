#include "station/checks/logic/check_window.h"

namespace station::checks {

CheckWindowLogic::CheckWindowLogic(InputReaders& readers, CheckWindowHost& host, platform::Clock& clock,
                                   bool driverMode)
    : readers_(readers), host_(host), clock_(clock), driverMode_(driverMode) {}

void CheckWindowLogic::open() {
    if (opened_ || closed_) return;
    opened_ = true;
    onOpening();
    if (!startsInput()) return;
    touchReader_ = readers_.start(ReaderCollection::Touch);
    if (!touchReader_) host_.setStatus("Failed to start thread.");
    if (wantsPenReader()) {
        penReader_ = readers_.start(ReaderCollection::Pen);
        if (!penReader_) host_.setStatus("Failed to start thread of pen.");
    }
    onOpened(touchReader_, penReader_);
    if (!closed_) rearmTimer();
    runPosted();
}

bool CheckWindowLogic::timerFired() {
    if (closed_ || !timerDue_ || clock_.monotonicMs() < *timerDue_) return false;
    timerDue_.reset();
    inHandler_ = true;
    evaluate();
    inHandler_ = false;
    runPosted();
    return true;
}

void CheckWindowLogic::rearmTimer() {
    if (!closed_) timerDue_ = clock_.monotonicMs() + kTickMs;
}

void CheckWindowLogic::painted() {
    if (!closed_ && opened_ && closeRequested()) close();
}

void CheckWindowLogic::onReport(ReaderCollection from, std::span<const std::uint8_t> report) {
    if (closed_ || report.empty()) return;
    if (from == ReaderCollection::Touch && report[0] == 3 && !vendorTouchSeen_) {
        vendorTouchSeen_ = true;
        if (driverMode_) onRawInputEnded();
    }
    inHandler_ = true;
    handleReport(from, report);
    inHandler_ = false;
    runPosted();
}

void CheckWindowLogic::onRawInput(const controllerlink::RawContactRecord& record,
                                  const controllerlink::RawTouchRanges& ranges) {
    if (closed_ || !rawInputTaken()) return;
    inHandler_ = true;
    handleRawInput(record, ranges);
    inHandler_ = false;
    runPosted();
}

void CheckWindowLogic::onKey(CheckKey key) {
    if (closed_) return;
    handleKey(key);
    if (key == CheckKey::Esc) close();
    if (!inHandler_) runPosted();
}

void CheckWindowLogic::close() {
    if (closed_) return;
    closed_ = true;
    timerDue_.reset();
    posted_.clear();
    if (touchReader_) readers_.stop(ReaderCollection::Touch);
    if (penReader_) readers_.stop(ReaderCollection::Pen);
    touchReader_ = penReader_ = false;
    writeResults();
}

void CheckWindowLogic::runPosted() {
    while (!posted_.empty() && !closed_) {
        const CheckKey key = posted_.front();
        posted_.pop_front();
        inHandler_ = true;
        onKey(key);
        inHandler_ = false;
    }
}

}  // namespace station::checks
