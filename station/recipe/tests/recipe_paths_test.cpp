#include "station/recipe/recipe_paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "station/recipe/tests/recipe_test_support.h"

namespace station {
namespace {

using ::testing::ElementsAre;

TEST(RecipePathCandidate, RelativeAbsoluteAndWindowsForms) {
    struct Case {
        const char* value;
        const char* candidate;
    };
    const Case cases[] = {
        {"logs", "/start/logs"},
        {"tables\\ref.csv", "/start/tables/ref.csv"},
        {"", "/start/"},
        {"/abs/ref.csv", "/abs/ref.csv"},
        {"\\abs\\ref.csv", "/abs/ref.csv"},
        {"C:\\logs", "C:\\logs"},                    // drive paths are kept as written
        {"\\\\server\\share", "\\\\server\\share"},  // so are network paths
    };
    for (const auto& c : cases) EXPECT_EQ(recipePathCandidate(c.value, "/start"), c.candidate) << c.value;
}

class ResolvePath : public ::testing::Test {
protected:
    bool resolve(std::string& field, PathKind kind) {
        return ResolveRecipePath(field, "KEY", kind, dir_.str(), messages_);
    }
    test::ScratchDir dir_;
    std::vector<std::string> messages_;
};

TEST_F(ResolvePath, ExistingPathsBecomeAbsoluteAndCanonical) {
    dir_.write("tables/ref.csv", "#Reference\n");
    std::filesystem::create_directories(dir_.path() / "logs");
    struct Case {
        const char* value;
        PathKind kind;
        std::string expected;
    };
    const Case cases[] = {
        {"tables\\ref.csv", PathKind::File, dir_.str() + "/tables/ref.csv"},
        {"logs/../tables/./ref.csv", PathKind::File, dir_.str() + "/tables/ref.csv"},
        {"logs", PathKind::Folder, dir_.str() + "/logs"},
        {"", PathKind::Folder, dir_.str()},
    };
    for (const auto& c : cases) {
        std::string field = c.value;
        ASSERT_TRUE(resolve(field, c.kind)) << c.value;
        EXPECT_EQ(field, c.expected) << c.value;
    }
    // An absolute path resolves to itself, so a resolved value can be loaded again.
    std::string again = dir_.str() + "/tables/ref.csv";
    ASSERT_TRUE(resolve(again, PathKind::File));
    EXPECT_EQ(again, dir_.str() + "/tables/ref.csv");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ResolvePath, MissingOrWrongKindIsReportedAndLeavesTheField) {
    dir_.write("tables/ref.csv", "#Reference\n");
    struct Case {
        const char* value;
        PathKind kind;
        std::string candidate;
    };
    const Case cases[] = {
        {"missing.csv", PathKind::File, dir_.str() + "/missing.csv"},
        {"tables", PathKind::File, dir_.str() + "/tables"},  // a folder is no table file
        {"tables/ref.csv", PathKind::Folder, dir_.str() + "/tables/ref.csv"},
        {"C:\\logs", PathKind::Folder, "C:\\logs"},
    };
    for (const auto& c : cases) {
        messages_.clear();
        std::string field = c.value;
        EXPECT_FALSE(resolve(field, c.kind)) << c.value;
        EXPECT_EQ(field, c.value);
        EXPECT_THAT(messages_, ElementsAre("Ini Error: does not exist. KEY=\"" + c.candidate + "\"."));
    }
}

TEST_F(ResolvePath, AFolderKeepsAnyFileOfItsOwn) {
    // Resolving a log folder must not touch what is in it.
    const std::string keep = dir_.write("logs/__tmp__", "operator notes");
    std::string field = "logs";
    ASSERT_TRUE(resolve(field, PathKind::Folder));
    EXPECT_TRUE(std::filesystem::exists(keep));
}

}  // namespace
}  // namespace station
