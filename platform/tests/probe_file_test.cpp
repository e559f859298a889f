#include "platform/probe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/tests/fifo_guard.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(ProbeFile, KeepsKeysInOrderAndRewritesOnlyOnChange) {
    platform::test::IdleFifo scratch;
    const std::string path = scratch.dir() + "/probe";
    platform::ProbeFile probe(path);
    probe.set("panel", "READY");
    probe.set("row", "1-0\tA1\nB2");
    ASSERT_TRUE(probe.flush());
    EXPECT_EQ(slurp(path), "panel=READY\nrow=1-0\tA1 B2\n");

    // Unchanged values leave the file alone (a reader may be holding it).
    std::remove(path.c_str());
    probe.set("panel", "READY");
    ASSERT_TRUE(probe.flush());
    struct stat st {};
    EXPECT_NE(::stat(path.c_str(), &st), 0);

    probe.set("panel", "OK");
    ASSERT_TRUE(probe.flush());
    EXPECT_EQ(slurp(path), "panel=OK\nrow=1-0\tA1 B2\n");
}

TEST(ProbeFile, FolderMissingIsAFailure) {
    platform::ProbeFile probe("/nonexistent-folder/probe");
    probe.set("a", "b");
    EXPECT_FALSE(probe.flush());
}

}  // namespace
