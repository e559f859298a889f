#pragma once
// What one automatic step of a check hands back to the sequence: it passed, it judged the
// device NG with an error number (620 for E620), or a command exchange failed and the check is
// aborted without a verdict. The step has already written its own message lines.
#include <string>
#include <utility>

namespace station {

struct StepOutcome {
    enum class Kind { Pass, Ng, Abort };

    Kind kind = Kind::Pass;
    // Ng: the first error number reported (0 when the step only reported a later one).
    int code = 0;
    // Ng of the raw judgement: the gap fault (645 or 646) reported after `code`, else 0.
    int laterCode = 0;
    // Abort: the message that was appended.
    std::string abortMessage;

    static StepOutcome pass() { return {}; }
    static StepOutcome ng(int code, int laterCode = 0) { return {Kind::Ng, code, laterCode, {}}; }
    static StepOutcome abort(std::string message) { return {Kind::Abort, 0, 0, std::move(message)}; }

    bool passed() const { return kind == Kind::Pass; }
    bool failed() const { return kind == Kind::Ng; }
    bool aborted() const { return kind == Kind::Abort; }
};

}  // namespace station
