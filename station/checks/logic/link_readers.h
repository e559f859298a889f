#pragma once
// A check window's readers on the controller's two collections: each input report goes to the
// front end's sink (on the reader's thread), which posts it to the window's thread.
#include "controllerlink/device_link_base.h"
#include "hidlink/report_sink.h"
#include "station/checks/logic/check_window.h"

namespace station::checks {

class LinkReaders final : public InputReaders {
public:
    LinkReaders(controllerlink::DeviceLinkBase& touch, controllerlink::DeviceLinkBase& pen, hidlink::ReportSink& sink)
        : touch_(touch), pen_(pen), sink_(sink) {}

    bool start(ReaderCollection which) override { return link(which).startInputReader(sink_); }
    void stop(ReaderCollection which) override { link(which).stopInputReader(); }

    // Which collection a sink's key names.
    static ReaderCollection collection(int key) {
        return key == controllerlink::PEN_KEY ? ReaderCollection::Pen : ReaderCollection::Touch;
    }

private:
    controllerlink::DeviceLinkBase& link(ReaderCollection which) {
        return which == ReaderCollection::Pen ? pen_ : touch_;
    }

    controllerlink::DeviceLinkBase& touch_;
    controllerlink::DeviceLinkBase& pen_;
    hidlink::ReportSink& sink_;
};

}  // namespace station::checks
