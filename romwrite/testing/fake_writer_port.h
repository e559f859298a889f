#pragma once
// A front end that records what the writer shows and answers its questions from a script.
#include <deque>
#include <string>
#include <vector>

#include "platform/power.h"
#include "romwrite/writer/writer_port.h"

namespace romwrite::testing {

class FakeWriterPort final : public WriterPort {
public:
    void showWindow() override { windowShown = true; }
    void showDeviceFields(const DeviceFields& f) override { fields = f; }
    void setButtons(const ButtonStates& b) override { buttons = b; }
    void showPhase(std::uint32_t phase, std::string_view text, std::string_view warning) override {
        phases.push_back(phase);
        phaseText = text;
        warningText = warning;
    }
    void setProgress(std::uint32_t value, std::uint32_t range) override {
        progress = value;
        progressRange = range;
    }
    void setStatusText(std::string_view text) override {
        status = text;
        statusHistory.emplace_back(text);
    }
    void showImage(std::string_view path, std::string_view checksum, std::string_view size) override {
        imagePath = path;
        imageChecksum = checksum;
        imageSize = size;
    }
    void showBootloaderData(std::string_view mpu, std::string_view ubl, std::string_view sec) override {
        mpuType = mpu;
        ublVersion = ubl;
        security = sec;
    }
    void messageBox(std::string_view text, std::string_view caption) override {
        boxes.push_back(std::string(caption) + ": " + std::string(text));
    }
    bool askApplyUpdate() override {
        ++questions;
        return answerYes;
    }

    bool windowShown = false;
    DeviceFields fields;
    ButtonStates buttons;
    std::vector<std::uint32_t> phases;
    std::string phaseText, warningText;
    std::uint32_t progress = 0, progressRange = 0;
    std::string status;
    std::vector<std::string> statusHistory;
    std::string imagePath, imageChecksum, imageSize;
    std::string mpuType, ublVersion, security;
    std::vector<std::string> boxes;
    int questions = 0;
    bool answerYes = true;
};

struct FakePower final : platform::PowerStatus {
    bool mains = true;
    bool onMains() override { return mains; }
};

struct FakeStayAwake final : platform::StayAwake {
    int requests = 0, releases = 0;
    bool held = false;
    void request() override { ++requests, held = true; }
    void release() override { ++releases, held = false; }
};

struct FakeRestarter final : platform::Restarter {
    int restarts = 0;
    bool restart() override { return ++restarts, true; }
};

struct FakeConfirmation final : EmbeddedConfirmation {
    bool answer = true;
    int asked = 0;
    bool confirm() override { return ++asked, answer; }
};

}  // namespace romwrite::testing
