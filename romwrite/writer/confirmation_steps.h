#pragma once
// The two pages shown before an embedded update: the notes page ("Next"/"Exit"), then the
// warning page ("Yes"/"No"). Going forward on either page needs mains power; without it the
// front end shows kNeedsMainsText and stays on the page.
#include "platform/power.h"

namespace romwrite {

inline constexpr const char* kConfirmNotes[] = {
    "Before continuing please ensure the following:",
    "Make sure that the AC adapter is firmly connected to the system and outlet.",
    "Make sure that a charged battery pack is installed in the system.",
    "Save all open files and close all open applications.",
    "Please do not suspend or hibernate your system while updating multi-touch device.",
};
inline constexpr const char* kConfirmWarning[] = {
    "DO NOT POWER OFF DURING AN UPDATE.",
    "Otherwise your system may be damaged.",
    "Do you want to continue?",
};
inline constexpr const char* kNeedsMainsText =
    "This process requires power to avoid an accidental power-off during an update.\r\n"
    "Connect the AC adapter to the system.";
inline constexpr const char* kNeedsMainsCaption = "Error";

class ConfirmationSteps {
public:
    enum class Page { Notes, Warning };
    enum class Outcome { NeedsMains, ShowWarning, Confirmed, Declined };

    explicit ConfirmationSteps(platform::PowerStatus& power) : power_(power) {}

    Page page() const { return page_; }
    // "Next" on the notes page, "Yes" on the warning page.
    Outcome forward();
    // "Exit" or "No".
    static Outcome back() { return Outcome::Declined; }

private:
    platform::PowerStatus& power_;
    Page page_ = Page::Notes;
};

}  // namespace romwrite
