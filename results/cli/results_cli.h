#pragma once
// vorlick-results: the line's questions to a results store from a shell. The program's main only
// hands its arguments and streams to run().
#include <ostream>
#include <string>
#include <vector>

namespace results::cli {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;  // the store, a file or the output said no; something not ingested or forwarded
inline constexpr int kUsage = 2;

// `args` without the program's name; `envStore` is VORLICK_RESULTS (null when unset).
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const char* envStore);

// A table: columns two spaces apart, numbers (rightAligned) to the right, no trailing blanks.
std::string renderTable(const std::vector<std::string>& headers, const std::vector<bool>& rightAligned,
                        const std::vector<std::vector<std::string>>& rows);

}  // namespace results::cli
