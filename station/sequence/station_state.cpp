#include "station/sequence/station_state.h"

namespace station {

Station::Station(hidlink::DeviceTable& t, platform::Clock& c, UiPort& u)
    : table(t), clock(c), ui(u), touch(t, controllerlink::TOUCH_KEY, c), pen(t, controllerlink::PEN_KEY, c) {}

controllerlink::ControllerGeneration Station::generation() const {
    return recipe.CPU == kCpuR5 ? controllerlink::ControllerGeneration::R5 : controllerlink::ControllerGeneration::R6;
}

CheckContext Station::checkContext() {
    return CheckContext{generation(), recipe, table, touch, pen, clock, ui, connect, texts, check, recipe.TkpGainBlock};
}

void recordFailed(Station& s, std::string_view message) {
    s.ui.appendMessage(message);
    s.records.unseenFailure = true;
    s.records.lostInRun = true;
}

}  // namespace station
