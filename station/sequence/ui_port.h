#pragma once
// The station's logic reaches its front end (the Qt window, the headless runner, a test fake)
// only through this port. Later features add the dialogs and the check windows here.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "station/sequence/check_windows.h"

namespace station {

struct CheckContext;

// What the station publishes about the connected controller ("---" when disconnected).
struct DeviceTexts {
    std::string_view productId;
    std::string_view firmwareMajor;
    std::string_view firmwareMinor;
    std::string_view pen;
};

enum class RepaintArea { StatusPanel, Window };

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

    // The front end redraws the area from the station's state.
    virtual void requestRepaint(RepaintArea) {}
    // One pane of the status bar (pane 0 is the prompt pane above).
    virtual void setStatusPane(int, std::string_view) {}
    virtual void setDeviceTexts(const DeviceTexts&) {}
    virtual void setHsyncTexts(std::string_view, std::string_view) {}
    // The result list shows rows 0..count-1 with the last one in view.
    virtual void setResultCount(std::size_t) {}
    virtual void setStartEnabled(bool) {}
    // A modal message box the operator closes with OK; the error box carries the error icon.
    virtual void showMessageBox(std::string_view) {}
    virtual void showErrorBox(std::string_view text) { showMessageBox(text); }

    // Run control. The 100 ms tick timer: stopped while a check runs, so a tick never starts
    // inside another (message pumping during a check must not re-enter the tick).
    virtual void setTickTimer(bool /*running*/) {}
    // The Start/Retry button's text ("Start" or "Retry").
    virtual void setStartText(std::string_view) {}
    // The serial-number field: its text, and whether the operator (or a scanner) may type in it.
    virtual void setSerialField(std::string_view, bool /*writable*/) {}
    // Keyboard focus on the serial-number field, or on the window (the Enter trigger), or on
    // the Start/Retry button (after Clear and Read ini, so Enter or Space presses Start).
    virtual void focusSerialField() {}
    virtual void focusWindow() {}
    virtual void focusStartButton() {}
    // The modal serial-number dialog, opened with `current`. The confirmed text, or nullopt when
    // the operator cancelled.
    virtual std::optional<std::string> askSerialNumber(std::string_view /*current*/) { return std::nullopt; }
    // The modal external-switch dialog ("Please, push external switch to reset device."): `step`
    // runs every 200 ms and returns true once the controller has gone and come back, which
    // closes the dialog as passed. False when the operator cancelled or closed it first.
    virtual bool runExternalSwitchDialog(const std::function<bool()>& /*step*/) { return false; }
    // The operator's check windows: whether this front end has the window, and the window run
    // modally until it closes, its result written into the check's record.
    virtual bool hasCheckWindow(CheckWindow) const { return false; }
    virtual void runCheckWindow(const CheckWindowRequest&, CheckContext&) {}
    // The station asks to be closed (the automatic quit); the front end runs the orderly shutdown.
    virtual void requestClose() {}
    // The operator asked to close the station while a check runs; it closes when the check has
    // ended.
    virtual bool closePending() const { return false; }
};

}  // namespace station
