#include "romwrite/writer/console_front_end.h"

#include <algorithm>
#include <cctype>

#include "romwrite/writer/confirmation_steps.h"

namespace romwrite {
namespace {

// The dialog's texts keep their CR LF; a console line ends with LF alone.
std::string lines(std::string_view text) {
    std::string out(text);
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    return out;
}

}  // namespace

void ConsoleFrontEnd::showDeviceFields(const DeviceFields& f) {
    if (f.vendorId == " ") {
        lastFields_.clear();
        return;
    }
    const std::string text =
        "device: VID " + f.vendorId + " PID " + f.productId + " version " + f.version + " I/F " + f.interface;
    if (text == lastFields_) return;
    lastFields_ = text;
    out_ << text << '\n' << std::flush;
}

void ConsoleFrontEnd::showPhase(std::uint32_t, std::string_view text, std::string_view warning) {
    if (!warning.empty() && !warned_) {
        warned_ = true;
        out_ << lines(warning) << '\n';
    }
    if (!text.empty()) out_ << text << '\n';
    out_ << std::flush;
}

void ConsoleFrontEnd::setProgress(std::uint32_t value, std::uint32_t range) {
    if (range == 0 || value == 0) {
        if (value == 0) lastTenth_ = -1;
        return;
    }
    const int tenth = static_cast<int>(std::min<std::uint64_t>(10, std::uint64_t{value} * 10 / range));
    if (tenth <= lastTenth_) return;
    lastTenth_ = tenth;
    out_ << "progress: " << tenth * 10 << "%\n" << std::flush;
}

void ConsoleFrontEnd::setStatusText(std::string_view text) {
    if (text == lastStatus_) return;
    lastStatus_ = text;
    if (!text.empty()) out_ << "status: " << text << '\n' << std::flush;
}

void ConsoleFrontEnd::showImage(std::string_view path, std::string_view checksum, std::string_view size) {
    if (checksum.empty()) return;
    out_ << "image: ";
    if (!path.empty()) out_ << path << ' ';
    out_ << "checksum " << checksum << " size " << size << '\n' << std::flush;
}

void ConsoleFrontEnd::showBootloaderData(std::string_view mpuType, std::string_view ublVersion,
                                         std::string_view security) {
    if (mpuType.empty()) return;
    out_ << "MPU TYPE " << mpuType << " UBL Version " << ublVersion << " Security " << security << '\n' << std::flush;
}

void ConsoleFrontEnd::messageBox(std::string_view text, std::string_view caption) {
    out_ << caption << ": " << lines(text) << '\n' << std::flush;
}

bool ConsoleFrontEnd::ask(std::string_view question) {
    out_ << question << " [y/N] " << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
        out_ << '\n' << std::flush;
        return false;
    }
    std::string word;
    for (char c : line)
        if (!std::isspace(static_cast<unsigned char>(c)))
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word == "y" || word == "yes";
}

bool ConsoleFrontEnd::askApplyUpdate() { return ask("Apply this update?"); }

bool ConsoleFrontEnd::confirm() {
    ConfirmationSteps steps(power_);
    for (const char* line : kConfirmNotes) out_ << line << '\n';
    for (;;) {
        const bool notes = steps.page() == ConfirmationSteps::Page::Notes;
        if (!ask(notes ? "Next?" : kConfirmWarning[2])) return false;
        switch (steps.forward()) {
            case ConfirmationSteps::Outcome::NeedsMains:
                messageBox(kNeedsMainsText, kNeedsMainsCaption);
                break;
            case ConfirmationSteps::Outcome::ShowWarning:
                out_ << kConfirmWarning[0] << '\n' << kConfirmWarning[1] << '\n';
                break;
            case ConfirmationSteps::Outcome::Confirmed:
                return true;
            case ConfirmationSteps::Outcome::Declined:
                return false;
        }
    }
}

}  // namespace romwrite
