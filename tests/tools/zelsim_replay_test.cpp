// zelsim --replay as a user runs it: a recording served by a separate
// zelsim process, acquired by zeltool over the network, gives the recorded
// values back bit for bit where a module can send them, the nearest raw
// value where it cannot (and says so), and the same gap where a module had
// no values. Files that are no recording are refused.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "station/zel_recorder.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

using tooltest::Outcome;
using tooltest::slurp;

// The samples of a recording, in order.
std::vector<ZelAcqRecord> samplesOf(const std::string& file) {
    std::vector<ZelAcqRecord> out;
    ZelRecording rec;
    EXPECT_TRUE(rec.open(file)) << rec.error();
    rec.forEach(LLONG_MIN, LLONG_MAX, [&](const ZelAcqRecord& r) {
        if (r.kind == ZEL_ACQ_SAMPLE) out.push_back(r);
        return true;
    });
    return out;
}

// A zelsim process of the test's own, stopped at the end.
struct Simulator {
    pid_t pid = -1;
    int subnet = 0;
    fs::path out;

    // Starts it; true once it says it is ready.
    bool start(const fs::path& dir, const std::vector<std::string>& args) {
        out = dir / "zelsim.out";
        pid = fork();
        if (pid == 0) {
            std::FILE* f = std::freopen(out.c_str(), "w", stdout);
            if (f == nullptr || dup2(fileno(stdout), 2) < 0) _exit(127);
            std::vector<char*> argv{const_cast<char*>(ZELSIM_PATH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(ZELSIM_PATH, argv.data());
            _exit(127);
        }
        for (int i = 0; i < 300; ++i) {
            const std::string text = slurp(out);
            std::smatch m;
            if (text.find("zelsim: ready") != std::string::npos &&
                std::regex_search(text, m, std::regex("subnet 127\\.([0-9]+)\\."))) {
                subnet = std::stoi(m[1]);
                return true;
            }
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    std::string host() const { return "127." + std::to_string(subnet) + ".0.1"; }
    ~Simulator() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

struct ZelsimReplay : ::testing::Test {
    fs::path dir;
    void SetUp() override { dir = tooltest::testFolder("zelsim_replay_"); }
    void TearDown() override { fs::remove_all(dir); }

    Outcome zeltool(const std::vector<std::string>& args) {
        return tooltest::runProgram(ZELTOOL_PATH, dir, args);
    }
    Outcome zelsim(const std::vector<std::string>& args) {
        return tooltest::runProgram(ZELSIM_PATH, dir, args);
    }
    // Records `samples` samples `periodUs` apart into `file` in the test's
    // folder, each filled in by `fill(k, record)`; returns the path.
    template <class Fill>
    std::string record(const std::string& file, const ZelRecordingContext& context,
                       std::size_t samples, long long periodUs, Fill fill) {
        const std::string path = (dir / file).string();
        ZelRecorder recorder;
        EXPECT_TRUE(recorder.open(path, context)) << recorder.error();
        for (std::size_t k = 0; k < samples; ++k) {
            ZelAcqRecord r;
            r.sequence = k;
            r.deadlineUs = static_cast<long long>(k) * periodUs;
            r.requestUs = r.deadlineUs + 10;
            r.answerUs = r.requestUs + 500;
            r.utcUs = 1'800'000'000'000'000LL + r.requestUs;
            fill(k, r);
            EXPECT_TRUE(recorder.push(r));
        }
        EXPECT_TRUE(recorder.close()) << recorder.error();
        return path;
    }
    // Acquires `count` samples from the simulator into `file`.
    Outcome acquire(const Simulator& sim, int count, const std::string& file) {
        return zeltool({"--local-ip", sim.host(), "--netmask", "255.255.0.0", "acquire", "--rate",
                        "20", "--count", std::to_string(count), "--csv", "--record",
                        (dir / file).string()});
    }
};

// The CSV rows without their time column.
std::string withoutTimes(const std::string& csv) {
    std::stringstream in(csv);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("zeltool:", 0) == 0) continue;
        kept += line.substr(line.find(',') + 1) + "\n";
    }
    return kept;
}

TEST_F(ZelsimReplay, RecordingOfTheSimulatedChainComesBackBitForBit) {
    const Outcome recorded = zeltool({"acquire", "--rate", "50", "--count", "25", "--csv",
                                      "--record", (dir / "a.zelrec").string()});
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    const std::string first = recorded.out;

    Simulator sim;
    ASSERT_TRUE(sim.start(dir, {"--replay", (dir / "a.zelrec").string(), "--replay-step"}))
        << slurp(sim.out);
    EXPECT_EQ(slurp(sim.out).find("nearest"), std::string::npos) << slurp(sim.out);
    const Outcome replayed = acquire(sim, 25, "b.zelrec");
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_EQ(withoutTimes(replayed.out), withoutTimes(first));

    const std::vector<ZelAcqRecord> a = samplesOf((dir / "a.zelrec").string());
    const std::vector<ZelAcqRecord> b = samplesOf((dir / "b.zelrec").string());
    ASSERT_EQ(a.size(), 25u);
    ASSERT_EQ(b.size(), a.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        ASSERT_EQ(b[k].modules.size(), a[k].modules.size());
        for (std::size_t i = 0; i < a[k].modules.size(); ++i) {
            const ZelAcqModuleValues& x = a[k].modules[i];
            const ZelAcqModuleValues& y = b[k].modules[i];
            SCOPED_TRACE("sample " + std::to_string(k) + " module " + std::to_string(x.position));
            EXPECT_EQ(y.position, x.position);
            EXPECT_EQ(y.code, 0);
            ASSERT_EQ(y.numValues, x.numValues);
            for (int c = 0; c < x.numValues; ++c) EXPECT_EQ(y.values[c], x.values[c]) << c;
        }
    }
}

// What a host without a configuration file computes from a raw value.
double kalixMm(double count, double nmPerCount) { return count * nmPerCount * 1e-6; }
double kalixDeg(double count, double perTurn) {
    const double p = std::fmod(count / perTurn * 360.0, 360.0);
    return p < 0 ? p + 360.0 : p;
}
double volts(int word) { return (word / 1000.0 * 5.0 - 12.5) * -1.0; }
double milliamps(int word) { return word / 1000.0 * 3.2 + 4.0; }

TEST_F(ZelsimReplay, EachKindAnswersTheValueItCanSendAndTheNearestOtherwise) {
    // Positions: 0 Kalix (mm, deg, counts, counts), 1 TTL, 2 1 Vpp, 3 LVDT,
    // 4 analog; each case changes one value of one sample.
    const int channels[] = {4, 4, 4, 2, 4};
    const double base[5][4] = {{1.0, 90.0, 0, 0},
                               {100, 100, 100, 100},
                               {200, 200, 200, 200},
                               {0, 0, 0, 0},
                               {2.5, 12.0, 2.5, 12.0}};
    struct Case {
        const char* what;
        int position;
        int channel;
        double value;
        double served;     // what the replay gives back
        double tolerance;  // 0: bit for bit
    };
    const Case cases[] = {
        {"Kalix mm, 100 nm steps", 0, 0, kalixMm(146274, 100), kalixMm(146274, 100), 0},
        {"Kalix mm, 5 nm steps", 0, 0, kalixMm(777777, 5), kalixMm(777777, 5), 0},
        {"Kalix mm, below a nanometre", 0, 0, 4e-7, 0.0, 0},
        {"Kalix deg, 8192 a turn, fourth turn", 0, 1, kalixDeg(3 * 8192 + 2065, 8192),
         kalixDeg(3 * 8192 + 2065, 8192), 0},
        {"Kalix deg, 2^20 a turn", 0, 1, kalixDeg(123457, 1 << 20), kalixDeg(123457, 1 << 20), 0},
        {"Kalix counts", 0, 2, 4294967295.0, 4294967295.0, 0},
        {"TTL counts, highest", 1, 3, 4294967295.0, 4294967295.0, 0},
        {"TTL counts, a fraction", 1, 0, 2.5, 2.5, 0.5},
        {"TTL counts, negative", 1, 1, -1.0, 0.0, 0},
        {"1 Vpp counts", 2, 2, 123456789.0, 123456789.0, 0},
        {"LVDT without resolution", 3, 0, 0.0, 0.0, 0},
        {"LVDT without resolution, a value", 3, 1, 3.0, 0.0, 0},
        {"analog volts", 4, 0, volts(1234), volts(1234), 0},
        {"analog milliamperes", 4, 1, milliamps(4321), milliamps(4321), 0},
        {"analog volts between two words", 4, 2, 2.5001, 2.5001, 0.0025},
    };
    const std::size_t n = std::size(cases);
    // Module 1 has no values in sample n; the host's retries of it must not
    // move it on, so sample n + 1 is whole again.
    const std::size_t silentSample = n;
    const std::size_t total = n + 2;

    ZelRecordingContext context;
    const char* kinds[] = {"Kalix encoder", "TTL encoder", "1 Vpp encoder", "LVDT", "analog"};
    const char* units[5][4] = {{"mm", "deg", "counts", "counts"},
                               {"counts", "counts", "counts", "counts"},
                               {"counts", "counts", "counts", "counts"},
                               {"counts", "counts", "", ""},
                               {"V", "mA", "V", "mA"}};
    for (unsigned short p = 0; p < 5; ++p) {
        context.modules.push_back({p, kinds[p], "127.9.0." + std::to_string(20 + p), "", "",
                                   "2.3.1", static_cast<unsigned short>(channels[p])});
        for (unsigned short c = 0; c < channels[p]; ++c)
            context.channels.push_back({p, c, "", units[p][c]});
    }
    context.rateHz = 20;
    const std::string file =
        record("cases.zelrec", context, total, 50000, [&](std::size_t k, ZelAcqRecord& r) {
            for (unsigned short p = 0; p < 5; ++p) {
                ZelAcqModuleValues v;
                v.position = p;
                v.numValues = static_cast<unsigned short>(channels[p]);
                for (int c = 0; c < channels[p]; ++c) v.values[c] = base[p][c];
                if (k < n && cases[k].position == p) v.values[cases[k].channel] = cases[k].value;
                if (k == silentSample && p == 1) {
                    v.code = 8;
                    v.numValues = 0;
                }
                r.modules.push_back(v);
            }
        });

    Simulator sim;
    ASSERT_TRUE(sim.start(dir, {"--replay", file, "--replay-step"})) << slurp(sim.out);
    const std::string said = slurp(sim.out);
    const Outcome replayed = acquire(sim, static_cast<int>(total), "b.zelrec");
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    const std::vector<ZelAcqRecord> b = samplesOf((dir / "b.zelrec").string());
    ASSERT_EQ(b.size(), total);
    for (std::size_t k = 0; k < n; ++k) {
        const Case& c = cases[k];
        SCOPED_TRACE(c.what);
        const ZelAcqModuleValues& got = b[k].modules[static_cast<std::size_t>(c.position)];
        ASSERT_EQ(got.code, 0);
        if (c.tolerance == 0) {
            EXPECT_EQ(got.values[c.channel], c.served);
        } else {
            EXPECT_NEAR(got.values[c.channel], c.served, c.tolerance);
        }
        // The other modules kept their base values in that sample.
        for (int p = 0; p < 5; ++p) {
            if (p == c.position) continue;
            for (int ch = 0; ch < channels[p]; ++ch)
                EXPECT_EQ(b[k].modules[static_cast<std::size_t>(p)].values[ch], base[p][ch]) << p;
        }
    }
    // zelsim said which channels got a value it could not send, and how many.
    std::map<std::pair<int, int>, int> inexact;
    for (const Case& c : cases) {
        if (c.served != c.value || c.tolerance != 0) ++inexact[{c.position, c.channel}];
    }
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = said.find("served as the nearest", at)) != std::string::npos;
         ++at)
        ++lines;
    EXPECT_EQ(lines, inexact.size()) << said;
    for (const auto& [where, count] : inexact) {
        const std::string line = "module " + std::to_string(where.first) + " channel " +
                                 std::to_string(where.second) + " (" +
                                 units[where.first][where.second] + "): " + std::to_string(count) +
                                 " of " + std::to_string(total) + " values served as the nearest";
        EXPECT_NE(said.find(line), std::string::npos) << line << "\n" << said;
    }
    // The gap comes back where it was, and only there.
    for (std::size_t p = 0; p < 5; ++p) {
        EXPECT_EQ(b[silentSample].modules[p].code != 0, p == 1) << p;
        EXPECT_EQ(b[silentSample + 1].modules[p].code, 0) << p;
        for (int ch = 0; ch < channels[p]; ++ch)
            EXPECT_EQ(b[silentSample + 1].modules[p].values[ch], base[p][ch]) << p;
    }
}

// A module missing from many samples is declared lost by the host, which
// stops asking it for counts; when the recording has it back it answers the
// host's probes again and rejoins at the sample the others are at.
TEST_F(ZelsimReplay, AModuleLostInTheRecordingRejoinsInStep) {
    constexpr std::size_t kSamples = 40;
    constexpr std::size_t kGone = 3, kBack = 15;  // module 1 silent from kGone to kBack - 1
    ZelRecordingContext context;
    for (unsigned short p = 0; p < 2; ++p) {
        context.modules.push_back({p, "TTL encoder", "", "", "", "2.3.1", 4});
        context.channels.push_back({p, 0, "", "counts"});
    }
    const std::string file =
        record("lost.zelrec", context, kSamples, 50000, [&](std::size_t k, ZelAcqRecord& r) {
            for (unsigned short p = 0; p < 2; ++p) {
                ZelAcqModuleValues v{p, 0, ZEL_ACQ_HEALTH_OK, 1, {static_cast<double>(k)}, 0, 0};
                if (p == 1 && k >= kGone && k < kBack) v = {p, 8, ZEL_ACQ_HEALTH_LOST, 0, {}, 0, 0};
                r.modules.push_back(v);
            }
        });

    Simulator sim;
    ASSERT_TRUE(sim.start(dir, {"--replay", file, "--replay-step"})) << slurp(sim.out);
    const Outcome replayed = acquire(sim, static_cast<int>(kSamples), "b.zelrec");
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    const std::vector<ZelAcqRecord> b = samplesOf((dir / "b.zelrec").string());
    ASSERT_EQ(b.size(), kSamples);
    bool rejoined = false;
    for (std::size_t k = 0; k < b.size(); ++k) {
        SCOPED_TRACE("sample " + std::to_string(k));
        ASSERT_EQ(b[k].modules.size(), 2u);
        EXPECT_EQ(b[k].modules[0].code, 0);
        EXPECT_EQ(b[k].modules[0].values[0], static_cast<double>(k));
        const bool recorded = k < kGone || k >= kBack;
        if (b[k].modules[1].code == 0) {
            EXPECT_TRUE(recorded);
            EXPECT_EQ(b[k].modules[1].values[0], static_cast<double>(k));
            rejoined = rejoined || k >= kBack;
        } else {
            EXPECT_TRUE(!recorded || k >= kBack) << "answered in the recording, silent here";
        }
    }
    EXPECT_TRUE(rejoined);
}

// At a pace the host sees the recorded samples in their order, each one
// whole (which ones depends on the two clocks, so only the order is checked).
TEST_F(ZelsimReplay, PacedReplayServesRecordedSamplesInOrder) {
    ZelRecordingContext context;
    context.modules.push_back({0, "1 Vpp encoder", "", "", "", "2.3.1", 4});
    for (unsigned short c = 0; c < 2; ++c) context.channels.push_back({0, c, "", "counts"});
    const std::string file =
        record("paced.zelrec", context, 400, 10000, [](std::size_t k, ZelAcqRecord& r) {
            const auto value = static_cast<double>(k);
            r.modules.push_back({0, 0, ZEL_ACQ_HEALTH_OK, 2, {value, 3 * value + 1}, 0, 0});
        });

    Simulator sim;
    ASSERT_TRUE(sim.start(dir, {"--replay", file, "--replay-speed", "0.5"})) << slurp(sim.out);
    const Outcome replayed = acquire(sim, 20, "b.zelrec");
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    double previous = -1;
    std::set<double> seen;
    for (const ZelAcqRecord& r : samplesOf((dir / "b.zelrec").string())) {
        ASSERT_EQ(r.modules.size(), 1u);
        const ZelAcqModuleValues& v = r.modules[0];
        ASSERT_EQ(v.code, 0);
        EXPECT_GE(v.values[0], previous);
        EXPECT_EQ(v.values[1], 3 * v.values[0] + 1) << "parts of two samples";
        previous = v.values[0];
        seen.insert(v.values[0]);
    }
    EXPECT_GT(seen.size(), 1u);
}

TEST_F(ZelsimReplay, RefusesWhatIsNoRecordingAndServesOneWhoseWriterWasKilled) {
    std::ofstream(dir / "notes.zelrec") << "not a recording\n";
    struct Refusal {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const std::string missing = (dir / "missing.zelrec").string();
    const std::string text = (dir / "notes.zelrec").string();
    const Refusal refusals[] = {
        {{"--replay", missing}, 1, "missing.zelrec"},
        {{"--replay", text}, 1, "notes.zelrec"},
        {{"--replay-step"}, 2, "need --replay FILE"},
        {{"--replay", text, "--replay-speed", "0"}, 2, "--replay-speed takes"},
        {{"--replay", text, "--replay-speed", "fast"}, 2, "--replay-speed takes"},
        {{"--replay", text, "--replay-speed", "2", "--replay-step"}, 2, "exclude each other"},
        {{"--replay", text, "--chain", "default"}, 2, "takes no --chain"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.args.back());
        const Outcome o = zelsim(r.args);
        EXPECT_EQ(o.status, r.status);
        EXPECT_NE(o.err.find(r.says), std::string::npos) << o.err;
        EXPECT_EQ(o.out.find("ready"), std::string::npos);
    }
    EXPECT_EQ(slurp(dir / "notes.zelrec"), "not a recording\n");

    // Recordings a simulated module cannot serve.
    struct Unservable {
        const char* kind;
        const char* unit;
        std::size_t samples;
        const char* says;
    };
    const Unservable unservable[] = {
        {"TTL encoder", "mm", 1, "module 0 channel 0 (TTL encoder, 'mm')"},  // a host's setting
        {"I/O", "counts", 1, "module 0 is of a kind ('I/O')"},
        {"TTL encoder", "counts", 0, "holds no sample"},
    };
    for (const Unservable& u : unservable) {
        SCOPED_TRACE(u.says);
        ZelRecordingContext context;
        context.modules.push_back({0, u.kind, "127.9.0.2", "", "", "2.3.1", 4});
        context.channels.push_back({0, 0, "", u.unit});
        const std::string file =
            record("unservable" + std::to_string(&u - unservable) + ".zelrec", context, u.samples,
                   1000, [](std::size_t, ZelAcqRecord& r) {
                       r.modules.push_back({0, 0, ZEL_ACQ_HEALTH_OK, 1, {1.5}, 0, 0});
                   });
        const Outcome o = zelsim({"--replay", file});
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find(u.says), std::string::npos) << o.err;
    }

    // A recording whose writer was killed: what it committed is served.
    const std::string killed = (dir / "killed.zelrec").string();
    const pid_t writer = fork();
    if (writer == 0) {
        std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
        if (quiet == nullptr || dup2(fileno(stdout), 2) < 0) _exit(127);
        execl(ZELTOOL_PATH, ZELTOOL_PATH, "acquire", "--rate", "50", "--record", killed.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    long long committed = 0;
    for (int i = 0; i < 400 && committed < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sqlite3* db = nullptr;
        sqlite3_stmt* s = nullptr;
        if (fs::exists(killed) &&
            sqlite3_open_v2(killed.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, "SELECT count(*) FROM samples", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW) {
            committed = sqlite3_column_int64(s, 0);
        }
        sqlite3_finalize(s);
        sqlite3_close(db);
    }
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    ASSERT_GE(committed, 20);
    Simulator sim;
    ASSERT_TRUE(sim.start(dir, {"--replay", killed, "--replay-speed", "10"})) << slurp(sim.out);
    EXPECT_NE(slurp(sim.out).find(" samples, at 10"), std::string::npos) << slurp(sim.out);
    ZelRecording after;
    ASSERT_TRUE(after.open(killed));
    EXPECT_EQ(after.endUtcUs(), 0);
}

}  // namespace
