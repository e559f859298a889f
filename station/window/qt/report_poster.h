#pragma once
// Hands the reports of an input reader (on its own thread) to a window (on the UI thread): each
// report is copied and posted to the receiver's event loop, where the handler runs. Posts still
// waiting when the receiver is deleted are discarded with it.
#include <QObject>
#include <cstdint>
#include <functional>
#include <vector>

#include "hidlink/report_sink.h"

namespace station {

class ReportPoster final : public hidlink::ReportSink {
public:
    using ReportHandler = std::function<void(int key, const std::vector<std::uint8_t>& report)>;
    using EndHandler = std::function<void(int key)>;

    ReportPoster(QObject& receiver, ReportHandler onReport, EndHandler onEnded = {})
        : receiver_(receiver), onReport_(std::move(onReport)), onEnded_(std::move(onEnded)) {}

    void onReport(int key, std::span<const std::uint8_t> report) override;
    void onReaderEnded(int key) override;

private:
    QObject& receiver_;
    ReportHandler onReport_;
    EndHandler onEnded_;
};

}  // namespace station
