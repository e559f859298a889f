#include "station/window/qt/report_poster.h"

#include <QMetaObject>

namespace station {

void ReportPoster::onReport(int key, std::span<const std::uint8_t> report) {
    QMetaObject::invokeMethod(
        &receiver_,
        [handler = onReport_, key, copy = std::vector<std::uint8_t>(report.begin(), report.end())] {
            if (handler) handler(key, copy);
        },
        Qt::QueuedConnection);
}

void ReportPoster::onReaderEnded(int key) {
    QMetaObject::invokeMethod(
        &receiver_,
        [handler = onEnded_, key] {
            if (handler) handler(key);
        },
        Qt::QueuedConnection);
}

}  // namespace station
