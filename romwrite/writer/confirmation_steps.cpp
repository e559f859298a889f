#include "romwrite/writer/confirmation_steps.h"

namespace romwrite {

ConfirmationSteps::Outcome ConfirmationSteps::forward() {
    if (!power_.onMains()) return Outcome::NeedsMains;
    if (page_ == Page::Warning) return Outcome::Confirmed;
    page_ = Page::Warning;
    return Outcome::ShowWarning;
}

}  // namespace romwrite
