#pragma once
// What one automatic step of a check hands back to the sequence: it passed, it judged the
// device NG with the errors of the catalogue it found, or a command exchange failed and the
// check is aborted without a verdict. The step has already written its own message lines.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "station/sequence/error_codes.h"

namespace station {

struct StepOutcome {
    enum class Kind { Pass, Ng, Abort };

    Kind kind = Kind::Pass;
    // Ng: the errors in the order they were reported (the raw judgement may report a raw fault
    // and then a gap fault).
    std::vector<ErrorId> errors;
    // Abort: the message that was appended.
    std::string abortMessage;

    static StepOutcome pass() { return {}; }
    static StepOutcome ng(ErrorId first, std::optional<ErrorId> later = std::nullopt) {
        StepOutcome o{Kind::Ng, {first}, {}};
        if (later) o.errors.push_back(*later);
        return o;
    }
    static StepOutcome abort(std::string message) { return {Kind::Abort, {}, std::move(message)}; }

    bool passed() const { return kind == Kind::Pass; }
    bool failed() const { return kind == Kind::Ng; }
    bool aborted() const { return kind == Kind::Abort; }
    // The first error reported; nullopt unless NG.
    std::optional<ErrorId> firstError() const {
        return errors.empty() ? std::nullopt : std::optional<ErrorId>(errors.front());
    }
};

}  // namespace station
