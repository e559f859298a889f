#pragma once
// A front end for tests: records everything the station's logic shows.
#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/sequence/ui_port.h"

namespace station {

class FakeUiPort final : public UiPort {
public:
    void appendMessage(std::string_view text) override { messages.emplace_back(text); }
    void setPrompt(std::string_view text) override { prompt = text; }
    void resetDisplay() override { ++resets; }
    void setSuperKeyGuard(bool on) override {
        superKeyGuard = on;
        guardCalls.push_back(on);
    }
    void pumpMessages() override {
        ++pumps;
        if (onPump) onPump();
    }
    void requestRepaint(RepaintArea area) override { ++repaints[area]; }
    void setStatusPane(int pane, std::string_view text) override { panes[pane] = text; }
    void setDeviceTexts(const DeviceTexts& t) override {
        productId = t.productId;
        firmwareMajor = t.firmwareMajor;
        firmwareMinor = t.firmwareMinor;
        pen = t.pen;
    }
    void setHsyncTexts(std::string_view pid, std::string_view ver) override {
        hsyncPid = pid;
        hsyncVer = ver;
    }
    void setResultCount(std::size_t count) override { resultCount = count; }
    void setStartEnabled(bool on) override { startEnabled = on; }
    void showMessageBox(std::string_view text) override { boxes.emplace_back(text); }
    void showErrorBox(std::string_view text) override { boxes.emplace_back("error: " + std::string(text)); }
    void setTickTimer(bool running) override { tickTimer = running; }
    void setStartText(std::string_view text) override { startText = text; }
    void setSerialField(std::string_view text, bool writable) override {
        serialField = text;
        serialWritable = writable;
    }
    void focusSerialField() override { focus = "serial"; }
    void focusWindow() override { focus = "window"; }
    void focusStartButton() override { focus = "start"; }
    // Answers the serial-number dialog from `serialAnswers` in order; cancels when none is left.
    std::optional<std::string> askSerialNumber(std::string_view current) override {
        ++serialDialogs;
        lastSerialShown = current;
        if (serialAnswers.empty()) return std::nullopt;
        std::string answer = serialAnswers.front();
        serialAnswers.erase(serialAnswers.begin());
        return answer;
    }
    void requestClose() override { ++closeRequests; }
    // The external switch dialog: `switchOperator` stands for the person and the dialog's
    // timer (it calls `step` as the ticks would); without one the operator cancels at once.
    bool runExternalSwitchDialog(const std::function<bool()>& step) override {
        ++switchDialogs;
        return switchOperator ? switchOperator(step) : false;
    }

    bool saw(std::string_view text) const {
        return std::find(messages.begin(), messages.end(), text) != messages.end();
    }

    std::vector<std::string> messages;
    std::vector<std::string> boxes;
    std::string prompt;
    int resets = 0;
    bool superKeyGuard = false;
    std::vector<bool> guardCalls;
    int pumps = 0;
    std::map<RepaintArea, int> repaints;
    std::map<int, std::string> panes;
    std::string productId, firmwareMajor, firmwareMinor, pen;
    std::string hsyncPid, hsyncVer;
    std::size_t resultCount = 0;
    bool startEnabled = true;
    bool tickTimer = false;
    std::string startText;
    std::string serialField;
    bool serialWritable = false;
    std::string focus;
    std::vector<std::string> serialAnswers;
    int serialDialogs = 0;
    std::string lastSerialShown;
    int closeRequests = 0;
    std::function<bool(const std::function<bool()>&)> switchOperator;
    // The check windows: present when `checkWindow` is set, which stands for the window.
    bool hasCheckWindow(CheckWindow) const override { return static_cast<bool>(checkWindow); }
    void runCheckWindow(const CheckWindowRequest& request, CheckContext& check) override {
        windows.push_back(request);
        if (checkWindow) checkWindow(request, check);
    }
    std::function<void(const CheckWindowRequest&, CheckContext&)> checkWindow;
    std::vector<CheckWindowRequest> windows;
    int switchDialogs = 0;
    // The operator's close while a check runs.
    bool closePending() const override { return closeAsked; }
    bool closeAsked = false;
    std::function<void()> onPump;
};

}  // namespace station
