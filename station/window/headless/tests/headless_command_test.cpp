#include "station/window/headless/headless_command.h"

#include <gtest/gtest.h>

namespace station {
namespace {

using K = HeadlessCommand::Kind;

TEST(HeadlessCommand, ReadsEveryCommand) {
    struct Case {
        const char* line;
        K kind;
        const char* argument;
    };
    const Case cases[] = {
        {"start", K::Start, ""},
        {"  enter  ", K::Enter, ""},
        {"reset", K::Reset, ""},
        {"quit", K::Quit, ""},
        {"sn AB123", K::SerialNumber, "AB123"},
        // The scanned text is kept as it came, inner and trailing blanks included.
        {"sn \tAB 12 3 ", K::SerialNumber, "AB 12 3 "},
        {"sn #AB123#", K::SerialNumber, "#AB123#"},
        {"load PID0A52.ini", K::Load, "PID0A52.ini"},
        {"load my recipes/R6 full.ini", K::Load, "my recipes/R6 full.ini"},
        {"key Esc", K::Key, "Esc"},
        {"key Plus", K::Key, "Plus"},
        {"esc", K::Key, "Esc"},
    };
    for (const auto& c : cases) {
        const ParsedLine p = parseHeadlessCommand(c.line);
        ASSERT_TRUE(p.command.has_value()) << c.line << ": " << p.error;
        EXPECT_EQ(p.command->kind, c.kind) << c.line;
        EXPECT_EQ(p.command->argument, c.argument) << c.line;
        EXPECT_EQ(p.error, "") << c.line;
    }
}

TEST(HeadlessCommand, RefusesWithOneClearLine) {
    struct Case {
        const char* line;
        const char* error;
    };
    const Case cases[] = {
        {"sn", "command ignored: sn needs TEXT (sn TEXT)"},
        {"sn   ", "command ignored: sn needs TEXT (sn TEXT)"},
        {"load", "command ignored: load needs FILE (load FILE)"},
        {"start now", "command ignored: start takes nothing after it"},
        {"key", "command ignored: key needs NAME (key NAME)"},
        {"esc now", "command ignored: esc takes nothing after it"},
        {"key esc", "command ignored: unknown key 'esc' (keys: Enter, Esc, Space, B, C, D, G, S, Plus, Minus)"},
        {"Start",
         "command ignored: unknown command 'Start' (commands: start, sn TEXT, enter, reset, load FILE, quit, key NAME, "
         "esc)"},
        {"snAB123",
         "command ignored: unknown command 'snAB123' (commands: start, sn TEXT, enter, reset, load FILE, quit, key "
         "NAME, esc)"},
    };
    for (const auto& c : cases) {
        const ParsedLine p = parseHeadlessCommand(c.line);
        EXPECT_FALSE(p.command.has_value()) << c.line;
        EXPECT_EQ(p.error, c.error) << c.line;
    }
}

TEST(HeadlessCommand, EdgesOfTheLine) {
    // A blank line is nothing at all.
    for (const char* line : {"", "   ", "\t"}) {
        const ParsedLine p = parseHeadlessCommand(line);
        EXPECT_FALSE(p.command.has_value());
        EXPECT_EQ(p.error, "");
    }
    // A 10000-character serial number arrives whole.
    const std::string serial(10000, '7');
    const ParsedLine sn = parseHeadlessCommand("sn " + serial);
    ASSERT_TRUE(sn.command.has_value());
    EXPECT_EQ(sn.command->argument, serial);
    // An unknown word of any length is echoed short, so the error stays one readable line.
    const ParsedLine unknown = parseHeadlessCommand(std::string(5000, 'x'));
    EXPECT_EQ(unknown.error, "command ignored: unknown command '" + std::string(40, 'x') +
                                 "...' (commands: start, sn TEXT, enter, reset, load FILE, quit, key NAME, esc)");
}

}  // namespace
}  // namespace station
