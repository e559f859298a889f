#include "station/viewers/qt/frame_poster.h"

#include <QMetaObject>

namespace station::viewers {

void FramePoster::onImageFrame(std::uint32_t status, const controllerlink::ImageFrame& frame) {
    posted_.fetch_add(1, std::memory_order_relaxed);
    frames_.onImageFrame(status, frame);
    if (wakePending_.exchange(true)) return;
    QMetaObject::invokeMethod(
        &receiver_,
        [this] {
            // Cleared before the frames are taken: a frame queued meanwhile posts a new wake-up.
            wakePending_ = false;
            if (wake_) wake_();
        },
        Qt::QueuedConnection);
}

bool FramePoster::take(controllerlink::ImageFrame& frame, std::uint32_t& status) {
    return frames_.take(frame, status, 0);
}

}  // namespace station::viewers
