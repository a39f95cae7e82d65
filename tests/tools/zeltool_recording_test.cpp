// zeltool acquire --record and zeltool recording, as separate processes on
// the embedded simulated chain: the export prints what the acquisition
// printed, and a recording whose process is killed opens whole up to its
// last commit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

using tooltest::Outcome;
using tooltest::slurp;

// Lines of `text` not starting with "zeltool:" (the tool's notes on stderr).
std::string withoutNotes(const std::string& text) {
    std::stringstream in(text);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("zeltool:", 0) != 0) kept += line + "\n";
    }
    return kept;
}

struct ZeltoolRecording : ::testing::Test {
    fs::path dir;
    void SetUp() override { dir = tooltest::testFolder("zeltool_recording_"); }
    void TearDown() override { fs::remove_all(dir); }

    Outcome run(const std::vector<std::string>& args) {
        return tooltest::runProgram(ZELTOOL_PATH, dir, args);
    }

    // Samples the file holds now, read beside its writer (-1: not readable yet).
    static long long committedSamples(const std::string& file) {
        sqlite3* db = nullptr;
        long long n = -1;
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT count(*) FROM samples", -1, &s, nullptr) ==
                    SQLITE_OK &&
                sqlite3_step(s) == SQLITE_ROW) {
                n = sqlite3_column_int64(s, 0);
            }
            sqlite3_finalize(s);
        }
        sqlite3_close(db);
        return n;
    }
};

// Deadlines said missed or records said lost before the sequence `last`.
long long countedLost(const std::string& file, long long last) {
    sqlite3* db = nullptr;
    long long n = -1;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db,
                               "SELECT total(count) FROM events WHERE kind IN (1, 2) AND "
                               "sequence < ?",
                               -1, &s, nullptr) == SQLITE_OK) {
            sqlite3_bind_int64(s, 1, last);
            if (sqlite3_step(s) == SQLITE_ROW) n = sqlite3_column_int64(s, 0);
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return n;
}

TEST_F(ZeltoolRecording, ExportPrintsExactlyWhatAcquirePrinted) {
    for (const char* format : {"--csv", "--json", "--text"}) {
        SCOPED_TRACE(format);
        const std::string file = (dir / (std::string(format + 2) + ".zelrec")).string();
        std::vector<std::string> acquire = {"acquire", "--rate",   "50", "--count",
                                            "15",      "--record", file};
        std::vector<std::string> exported = {"recording", "export", file};
        if (std::string(format) != "--text") {
            acquire.push_back(format);
            exported.push_back(format);
        }
        const Outcome a = run(acquire);
        ASSERT_EQ(a.status, 0) << a.err;
        const Outcome e = run(exported);
        ASSERT_EQ(e.status, 0) << e.err;
        EXPECT_FALSE(a.out.empty());
        EXPECT_EQ(e.out, a.out);
        // The statistics too (on stderr with --csv).
        EXPECT_EQ(withoutNotes(e.err), withoutNotes(a.err));
    }

    // A span: the samples from the fourth one's time up to the ninth one's.
    const std::string file = (dir / "json.zelrec").string();
    const Outcome all = run({"recording", "export", file, "--json"});
    std::vector<std::string> utc;
    const std::regex sample("\\{\"kind\": \"sample\", \"utc\": \"([^\"]+)\"");
    std::stringstream lines(all.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, sample)) utc.push_back(m[1]);
    }
    ASSERT_EQ(utc.size(), 15u) << all.out;
    const Outcome span =
        run({"recording", "export", file, "--csv", "--from", utc[3], "--to", utc[8]});
    ASSERT_EQ(span.status, 0) << span.err;
    std::stringstream rows(span.out);
    std::vector<std::string> sequences;
    std::string header;
    std::getline(rows, header);
    for (std::string row; std::getline(rows, row);) {
        const std::size_t a = row.find(',');
        sequences.push_back(row.substr(a + 1, row.find(',', a + 1) - a - 1));
    }
    EXPECT_EQ(sequences, (std::vector<std::string>{"3", "4", "5", "6", "7"})) << span.out;
    EXPECT_NE(span.err.find("5 samples"), std::string::npos) << span.err;

    const Outcome info = run({"recording", "info", file});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("15 samples (sequence 0 to 14)"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Kalix encoder"), std::string::npos) << info.out;
}

TEST_F(ZeltoolRecording, RotatedPartsExportedOneAfterAnotherGiveWhatAcquirePrinted) {
    const fs::path file = dir / "run.zelrec";
    const Outcome a = run({"acquire", "--rate", "200", "--count", "400", "--csv", "--record",
                           file.string(), "--rotate", "16k"});
    ASSERT_EQ(a.status, 0) << a.err;
    std::string joined;
    int parts = 0;
    for (;; ++parts) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%04d", parts);
        const fs::path part = parts == 0 ? file : dir / ("run" + std::string(suffix) + ".zelrec");
        if (!fs::exists(part)) break;
        const Outcome e = run({"recording", "export", part.string(), "--csv"});
        ASSERT_EQ(e.status, 0) << e.err;
        // Each part is a whole recording: its own header, its own context.
        std::string rows = e.out;
        if (parts > 0) rows = rows.substr(rows.find('\n') + 1);
        joined += rows;
    }
    EXPECT_GT(parts, 1);
    EXPECT_NE(a.err.find("recorded in " + std::to_string(parts) + " parts"), std::string::npos)
        << a.err;
    EXPECT_EQ(joined, a.out);
}

TEST_F(ZeltoolRecording, ARecordingKilledMidwayOpensWholeUpToItsLastCommit) {
    const std::string file = (dir / "killed.zelrec").string();
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const std::string devnull = "/dev/null";
        std::freopen(devnull.c_str(), "w", stdout);
        std::freopen(devnull.c_str(), "w", stderr);
        ::execl(ZELTOOL_PATH, ZELTOOL_PATH, "acquire", "--rate", "200", "--record", file.c_str(),
                "--csv", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Killed once the file has shown some samples committed.
    long long seen = -1;
    for (int i = 0; i < 600 && seen < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        seen = committedSamples(file);
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(seen, 100) << "the recording showed no samples";

    const Outcome info = run({"recording", "info", file, "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info.out, m,
                                  std::regex("\"samples\": (\\d+), \"first_sequence\": 0, "
                                             "\"last_sequence\": (\\d+)")))
        << info.out;
    const long long samples = std::stoll(m[1]);
    // Nothing committed is lost, and every deadline up to the last sample's
    // is a sample or counted missed (or lost to a full queue).
    EXPECT_GE(samples, seen);
    EXPECT_EQ(std::stoll(m[2]) + 1, samples + countedLost(file, std::stoll(m[2])));
    EXPECT_NE(info.out.find("\"end\": null"), std::string::npos) << info.out;
    const Outcome e = run({"recording", "export", file, "--csv"});
    ASSERT_EQ(e.status, 0) << e.err;
    EXPECT_NE(e.err.find(std::to_string(samples) + " samples"), std::string::npos) << e.err;
}

TEST_F(ZeltoolRecording, RefusesWhatItCannotDoAndSaysWhy) {
    const fs::path existing = dir / "yesterday.zelrec";
    std::ofstream(existing) << "yesterday's measurements\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"acquire", "--count", "3", "--record", existing.string()}, 1, "exists already"},
        {{"recording", "info", (dir / "none.zelrec").string()}, 3, "no recording"},
        {{"recording", "export", existing.string()}, 3, "no recording"},
        {{"recording", "show", existing.string()}, 2, "info FILE or export FILE"},
        {{"recording", "info", existing.string(), "--csv"}, 2, "go with recording export"},
        {{"read", "all", "--record", existing.string()}, 2, "does not go with read"},
        {{"acquire", "--rotate", "1h"}, 2, "--rotate goes with --record"},
        {{"acquire", "--record", "x.zelrec", "--rotate", "10m"}, 2, "bad value '10m'"},
        {{"acquire", "--record", "x.zelrec", "--rotate", "1k"}, 2, "bad value '1k'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const Outcome o = run(c.args);
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
        EXPECT_EQ(slurp(existing), "yesterday's measurements\n");
        EXPECT_FALSE(fs::exists(dir / "none.zelrec"));
    }
}

}  // namespace
