#pragma once
// Why something failed, in one shape for the file, process and link layers: where (the file,
// node or program) and the reason in the words of whoever refused (the operating system, the
// simulator, or our own check of the data). The station and the writer put their own message
// in front; the reason goes where their texts allow a second line (stderr, the trace, the
// status bar), so an operator learns why a record or a device was lost, not only that it was.
#include <string>
#include <utility>

namespace platform {

struct Failure {
    Failure() = default;
    Failure(std::string where_, std::string reason_, std::string what_ = {})
        : where(std::move(where_)), reason(std::move(reason_)), what(std::move(what_)) {}

    std::string where;
    std::string reason;
    // What was attempted, when the layer that failed says it ("cannot lock"); mostly the
    // caller's own message says it instead.
    std::string what;

    bool failed() const { return !reason.empty(); }
    // "what where: reason", leaving out what is not there.
    std::string text() const;

    // The operating system's words for `error` (an errno value).
    static Failure fromErrno(std::string where, int error, std::string what = {});
};

}  // namespace platform
