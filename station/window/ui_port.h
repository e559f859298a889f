#pragma once
// The station's logic reaches its front end (the Qt window, the headless runner, a test fake)
// only through this port. Later features add the dialogs and the check windows here.
#include <string_view>

namespace station {

class UiPort {
public:
    virtual ~UiPort() = default;
    // One line in the message pane (a line end is added), scrolled into view.
    virtual void appendMessage(std::string_view text) = 0;
    // The prompt pane; a front end repaints only when the text changed.
    virtual void setPrompt(std::string_view text) = 0;
    // Clears the status panel and the result list back to their idle look.
    virtual void resetDisplay() = 0;
    // Starts or stops swallowing the desktop's Super keys (home key check).
    virtual void setSuperKeyGuard(bool on) = 0;
    // Lets the front end handle pending events during long work.
    virtual void pumpMessages() {}
};

}  // namespace station
