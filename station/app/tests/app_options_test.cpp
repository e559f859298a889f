#include "station/app/app_options.h"

#include <gtest/gtest.h>

namespace station {
namespace {

using Mode = AppOptions::Mode;

TEST(AppOptions, CommandLines) {
    struct Case {
        std::vector<std::string> args;
        Mode mode;
        bool start;
        int checks;
        const char* json;
        const char* recipe;
    };
    const Case cases[] = {
        {{}, Mode::Window, false, 0, "", ""},
        {{"R6_full.ini"}, Mode::Window, false, 0, "", "R6_full.ini"},
        {{"--headless"}, Mode::Headless, false, 0, "", ""},
        {{"--headless", "--start", "--checks", "3", "--json", "out.jsonl", "PID0A52.ini"},
         Mode::Headless,
         true,
         3,
         "out.jsonl",
         "PID0A52.ini"},
        {{"PID0A52.ini", "--headless"}, Mode::Headless, false, 0, "", "PID0A52.ini"},
        {{"--headless", "--", "--odd name.ini"}, Mode::Headless, false, 0, "", "--odd name.ini"},
        {{"--headless", "--help"}, Mode::Help, false, 0, "", ""},
        {{"--version", "--headless"}, Mode::Version, false, 0, "", ""},
    };
    for (const auto& c : cases) {
        const AppOptions o = parseAppOptions(c.args);
        const std::string name = ::testing::PrintToString(c.args);
        EXPECT_EQ(o.error, "") << name;
        EXPECT_EQ(o.mode, c.mode) << name;
        EXPECT_EQ(o.pressStart, c.start) << name;
        EXPECT_EQ(o.checkLimit, c.checks) << name;
        EXPECT_EQ(o.jsonPath, c.json) << name;
        EXPECT_EQ(o.recipe, c.recipe) << name;
    }
}

TEST(AppOptions, UsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"--headless", "--checks"},       {"--headless", "--checks", "0"}, {"--headless", "--checks", "-1"},
        {"--headless", "--checks", "2x"}, {"--headless", "--json"},        {"--headless", "--fast"},
        {"--headless", "a.ini", "b.ini"},
    };
    for (const auto& args : bad) EXPECT_NE(parseAppOptions(args).error, "") << ::testing::PrintToString(args);
}

TEST(AppOptions, ResultsStoreFromTheCommandLineOrTheEnvironment) {
    struct Case {
        std::vector<std::string> args;
        const char* resultsVariable;
        const char* stationIdVariable;
        const char* url;
        const char* stationId;
    };
    const Case cases[] = {
        {{"--headless"}, nullptr, nullptr, "", "st04"},
        {{"--headless"}, "sqlite:results.db", "line2-st04", "sqlite:results.db", "line2-st04"},
        // The command line wins over the environment.
        {{"--results", "sqlite:/srv/line.db", "--station-id", "A"},
         "sqlite:results.db",
         "B",
         "sqlite:/srv/line.db",
         "A"},
        {{"--headless", "--results", "postgresql://line@db/results"},
         nullptr,
         "",
         "postgresql://line@db/results",
         "st04"},
    };
    for (const Case& c : cases) {
        AppOptions o = parseAppOptions(c.args);
        const std::string name = ::testing::PrintToString(c.args);
        ASSERT_EQ(o.error, "") << name;
        EXPECT_EQ(settleResultsOptions(o, c.resultsVariable, c.stationIdVariable, "st04"), "") << name;
        EXPECT_EQ(o.resultsUrl, c.url) << name;
        EXPECT_EQ(o.stationId, c.stationId) << name;
    }
}

TEST(AppOptions, AResultsStoreTheStationCannotUseRefusesTheStartWithoutItsPassword) {
    AppOptions o = parseAppOptions({"--headless", "--results", "mysql://line:s3cret@db/results"});
    std::string why = settleResultsOptions(o, nullptr, nullptr, "st04");
    EXPECT_NE(why, "");
    EXPECT_EQ(why.find("s3cret"), std::string::npos) << why;

    o = parseAppOptions({"--headless"});
    why = settleResultsOptions(o, "sqlite:results.db", nullptr, std::string(65, 'h'));
    EXPECT_NE(why.find("--station-id"), std::string::npos) << why;

    EXPECT_NE(parseAppOptions({"--headless", "--results"}).error, "");
}

TEST(ProgramVersionText, DropsTheLastPart) {
    EXPECT_EQ(programVersionText("1.25.4.0"), "1.25.4");
    // Not a fixed character position: a one-digit minor or a two-digit major keep their parts.
    EXPECT_EQ(programVersionText("0.1.0.0"), "0.1.0");
    EXPECT_EQ(programVersionText("10.25.4.12"), "10.25.4");
    EXPECT_EQ(programVersionText(""), "0.0.0");
    EXPECT_EQ(programVersionText("1.25.4"), "0.0.0");
}

}  // namespace
}  // namespace station
