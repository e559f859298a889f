// vorlick-results: history, yield, Pareto and export over the line's results store; ingest and
// spool forwarding by hand.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "results/cli/results_cli.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return results::cli::run(args, std::cout, std::cerr, std::getenv("VORLICK_RESULTS"));
}
