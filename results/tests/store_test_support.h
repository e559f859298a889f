#pragma once
// What the store tests share: a scratch folder, a sample check, and a private PostgreSQL server
// (scripts/test_postgres.sh: its own folder and Unix socket, no TCP port; run as root, the
// server runs as nobody).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <pqxx/pqxx>
#include <string>
#include <vector>

#include "results/results_store.h"

namespace results::testing {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorlick-results-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline CheckResult sampleCheck() {
    CheckResult c;
    c.stationId = "line2-st04";
    c.host = "st04";
    c.recipeFile = "recipe/0A52.ini";
    c.productId = "0A52";
    c.checkNo = 17;
    c.retry = 0;
    c.serialNumber = "SN0A52-000123";
    c.verdict = "NG";
    c.errorCode = "E201";
    c.exitCode = 0;
    c.startUtc = "2026-03-02T08:15:04Z";
    c.endUtc = "2026-03-02T08:15:31Z";
    c.elapsedMs = 27120;
    c.firmwareVersion = "0102.07";
    c.hsyncVersion = std::nullopt;
    c.logFolder = "/srv/station/log/20260302_081000/";
    c.detailCsv = "/srv/station/log/20260302_081000/SN0A52-000123_17.csv";
    c.recordJson = R"({"check":17,"retry":0,"serialNumber":"SN0A52-000123","verdict":"NG"})";
    return c;
}

inline std::vector<CheckResult> historyOf(ResultsStore& store, const std::string& serial) {
    std::vector<CheckResult> checks;
    std::string why;
    EXPECT_TRUE(store.history(serial, checks, why)) << why;
    return checks;
}

// Every row of a statement, "|" between columns and NULL as "NULL"; the failure's reason otherwise.
inline std::vector<std::string> rowsOf(ResultsStore& store, const std::string& sql,
                                       const std::vector<std::string>& params = {}) {
    std::vector<std::string> rows;
    std::string why;
    const bool ok = store.select(
        sql, params,
        [&](const ResultsStore::Row& row) {
            std::string line;
            for (std::size_t i = 0; i < row.size(); ++i) line += (i ? "|" : "") + row[i].value_or("NULL");
            rows.push_back(line);
        },
        why);
    if (!ok) return {"failed: " + why};
    return rows;
}

// Tests of PostgreSQL fail when no server can start, unless this says to skip them (a developer
// machine without the server); CI has it (scripts/setup.sh test).
inline bool postgresMayBeSkipped() {
    const char* skip = std::getenv("VORLICK_SKIP_POSTGRES");
    return skip != nullptr && std::string(skip) == "1";
}

// A PostgreSQL 15 server of its own in a scratch folder, stopped and removed at the end.
class PgServer {
public:
    PgServer() { started_ = run("start", url_); }
    ~PgServer() {
        std::string ignored;
        run("stop", ignored);
    }
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // False with the reason in url() when the server would not start.
    bool started() const { return started_; }
    // The superuser's URL ("postgres" database, no password over the socket).
    const std::string& url() const { return url_; }
    const std::filesystem::path& folder() const { return dir_.path(); }
    // The URL of another database or role: "postgresql://user[:password]@/db?host=FOLDER".
    std::string urlOf(const std::string& database, const std::string& userInfo = "postgres") const {
        return "postgresql://" + userInfo + "@/" + database + "?host=" + dir_.path().string();
    }

    bool stop() {
        std::string out;
        return run("stop", out);
    }
    bool start() { return run("start", url_); }

    // Runs one statement as the superuser: the first value of its first row ("" for none), or
    // "failed: …".
    std::string sql(const std::string& statement, const std::string& database = "postgres") const {
        try {
            pqxx::connection connection(urlOf(database));
            pqxx::nontransaction tx(connection);
            const pqxx::result r = tx.exec(statement);
            if (r.empty() || r.columns() == 0 || r[0][0].is_null()) return "";
            return r[0][0].c_str();
        } catch (const std::exception& e) {
            return std::string("failed: ") + e.what();
        }
    }

    // A fresh empty database; its name (urlOf gives its URL).
    std::string newDatabase() {
        const std::string name = "store" + std::to_string(++databases_);
        const std::string out = sql("CREATE DATABASE " + name);
        EXPECT_EQ(out, "") << out;
        return name;
    }

private:
    static bool capture(const std::string& command, std::string& out) {
        out.clear();
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return false;
        char buffer[512];
        std::size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        const int status = pclose(pipe);
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    bool run(const char* action, std::string& out) {
        const std::string command = std::string(VORLICK_SOURCE_DIR) + "/scripts/test_postgres.sh " + action + " " +
                                    dir_.path().string() + " 2>&1";
        const bool ok = capture(command, out);
        // The URL is the last line; anything before it is the server's talk.
        if (ok && out.find('\n') != std::string::npos) out = out.substr(out.rfind('\n') + 1);
        return ok;
    }

    ScratchDir dir_;
    bool started_ = false;
    std::string url_;
    int databases_ = 0;
};

// One server for the whole test program: initdb takes a second or two.
inline PgServer& sharedPgServer() {
    static PgServer server;
    return server;
}

}  // namespace results::testing

// In a test's body: stops it (skips or fails, see postgresMayBeSkipped) when `server` did not start.
#define VORLICK_REQUIRE_PG_SERVER(server)                                                                      \
    do {                                                                                                       \
        if (!(server).started()) {                                                                             \
            if (::results::testing::postgresMayBeSkipped())                                                    \
                GTEST_SKIP() << "VORLICK_SKIP_POSTGRES=1: " << (server).url();                                 \
            FAIL() << "no PostgreSQL server for the test (VORLICK_SKIP_POSTGRES=1 skips): " << (server).url(); \
        }                                                                                                      \
    } while (false)
