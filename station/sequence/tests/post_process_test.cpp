// The post-process program: its command line as the recipe writes it, a real child run in the
// station's folder, and a program that outlives the operator's wish to close the station.
#include "station/sequence/post_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "station/sequence/firmware_steps.h"
#include "station/sequence/tests/sequence_rig.h"

namespace station {
namespace {

namespace fs = std::filesystem;
using test::Rig;

// A folder with the site's scripts in it, removed afterwards.
struct SiteFolder {
    SiteFolder() : path(fs::temp_directory_path() / ("vorlick_pp_" + std::to_string(::getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path / "site tools");
    }
    ~SiteFolder() { fs::remove_all(path); }
    std::string script(const std::string& name, const std::string& body, bool executable = true) const {
        const fs::path file = path / "site tools" / name;
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        ::chmod(file.c_str(), executable ? 0755 : 0644);
        return file.string();
    }
    fs::path path;
};

TEST(PostProcess, SplitsTheCommandLineAtBlanksAndKeepsQuotedWordsWhole) {
    struct Case {
        const char* line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"/opt/site/label.sh", {"/opt/site/label.sh"}},
        {"  tool  -a\t-b  ", {"tool", "-a", "-b"}},
        {R"("/opt/site tools/label" --printer "line 2")", {"/opt/site tools/label", "--printer", "line 2"}},
        // Nothing is expanded: no shell sees the line.
        {"echo $HOME *.csv ~", {"echo", "$HOME", "*.csv", "~"}},
        {R"(a"b c"d)", {"ab cd"}},
        {R"(tool "")", {"tool", ""}},
        {R"(tool "unclosed quote)", {"tool", "unclosed quote"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(splitCommandLine(c.line), c.words);
    }
}

TEST(PostProcess, TakesTheProgramAsTheShortestStartOfTheLineThatNamesAFile) {
    // The recipe's reader drops every double quote, so a path with spaces arrives bare.
    SiteFolder site;
    site.script("label", "exit 0");
    const std::string absolute = (site.path / "site tools" / "label").string();
    struct Case {
        std::string line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"site tools/label line 2", {"site tools/label", "line", "2"}},
        {"  site tools/label", {"site tools/label"}},
        {absolute + " --copies 2", {absolute, "--copies", "2"}},
        {"site tools/missing line 2", {"site", "tools/missing", "line", "2"}},
        {"\"site tools/label\" x", {"site tools/label", "x"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(commandLineWords(c.line, site.path.string()), c.words);
    }
}

TEST(PostProcess, RunsTheSiteProgramAndKeepsItsExitCodeUnjudged) {
    SiteFolder site;
    struct Case {
        const char* name;
        std::string line;
        std::vector<std::string> messages;
        std::optional<std::int32_t> exitCode;
    };
    site.script("label", "echo \"$1\" > printed.txt; exit 3");
    const std::string killed = site.script("crash", "kill -9 $$");
    const std::string plain = site.script("plain", "exit 0", false);
    const Case cases[] = {
        {"exit code 3 kept, file left in the station folder", "site tools/label \"line 2\"", {"Post-Process..."}, 3},
        {"killed by a signal", "\"" + killed + "\"", {"Post-Process..."}, 128 + 9},
        {"missing",
         "/no/such/post-process",
         {"Post-Process...", "Failed to start post-process (Error code: 0x0002) /no/such/post-process"},
         std::nullopt},
        {"not executable",
         "\"" + plain + "\"",
         {"Post-Process...", "Failed to start post-process (Error code: 0x000D) \"" + plain + "\""},
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.loadExample("PID0A52.ini");
        rig.s().recipe.POST_PROCESS_PATH = c.line;
        rig.s().check.postProcessExitCode = 77;  // what an earlier check left
        CheckContext check = rig.s().checkContext();
        PostProcess post(systemChildLauncher());
        const RunnerOutcome outcome = post.run(check, site.path.string());
        EXPECT_TRUE(outcome.ran) << "the program's end is never the check's failure";
        EXPECT_EQ(rig.ui.messages, c.messages);
        EXPECT_EQ(rig.s().check.postProcessExitCode, c.exitCode);
        EXPECT_EQ(rig.s().check.detail.ngTotal, 0);
    }
    std::ifstream printed(site.path / "printed.txt");
    std::string text;
    std::getline(printed, text);
    EXPECT_EQ(text, "line 2") << "run in the station's folder with its quoted argument whole";
}

// A program that runs until it is told to stop, as a label printer waiting for paper would.
class HangingLauncher : public ChildLauncher {
public:
    platform::ChildEnd run(const std::vector<std::string>&, const std::string&) override {
        while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        platform::ChildEnd end;
        end.started = true;
        end.exited = true;
        end.exitCode = 0;
        return end;
    }
    std::atomic<bool> release{false};
};

TEST(PostProcess, AStationClosedMeanwhileWaitsForTheProgramAndSaysSoOnce) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    rig.s().recipe.POST_PROCESS_PATH = "/opt/site/label";
    HangingLauncher launcher;
    // The operator closes the station while the program runs; it ends a while later.
    rig.ui.onPump = [&] {
        if (rig.ui.pumps == 3) rig.ui.closeAsked = true;
        if (rig.ui.pumps == 8) launcher.release = true;
    };
    CheckContext check = rig.s().checkContext();
    PostProcess post(launcher);
    EXPECT_TRUE(post.run(check, ".").ran);
    EXPECT_GE(rig.ui.pumps, 8) << "the front end kept answering while the program ran";
    const std::vector<std::string> said{
        "Post-Process...", "The station closes when the post-process program has ended (/opt/site/label)."};
    EXPECT_EQ(rig.ui.messages, said);
    EXPECT_EQ(rig.s().check.postProcessExitCode, 0);
}

}  // namespace
}  // namespace station
