// The recorder: what goes in comes back in order, a full queue loses only
// what it counts and says, a file that exists is never touched, and a write
// that fails (the file may grow no further) leaves a readable file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "station/zel_recorder.h"
#include "test_folder.h"

namespace fs = std::filesystem;

namespace {

struct Recorder : ::testing::Test {
    fs::path dir;
    void SetUp() override { dir = zeltest::testFolder("zel_recorder_"); }
    void TearDown() override { fs::remove_all(dir); }

    static ZelRecordingContext context() {
        ZelRecordingContext c;
        c.modules.push_back({0, "Kalix encoder", "127.9.0.2", "Spindle", "S1", "2.3.1", 2});
        c.modules.push_back({2, "analog", "127.9.0.3", "", "S2", "2.3.1", 2});
        c.channels.push_back({0, 0, "Height", "mm"});
        c.channels.push_back({0, 1, "", "deg"});
        c.channels.push_back({2, 0, "", "V"});
        c.libraryVersion = "9.8.7";
        c.toolName = "recorder_test";
        c.rateHz = 1000;
        c.configurationFile = "station.xml";
        c.configurationContent = "<Station/>";
        return c;
    }
    static ZelAcqRecord sample(unsigned long long sequence) {
        ZelAcqRecord r;
        r.sequence = sequence;
        r.deadlineUs = 1000 * static_cast<long long>(sequence);
        r.requestUs = r.deadlineUs + 7;
        r.answerUs = r.requestUs + 300;
        r.utcUs = 1'800'000'000'000'000LL + r.requestUs;
        ZelAcqModuleValues a;
        a.position = 0;
        a.numValues = 2;
        a.values[0] = 0.001 * static_cast<double>(sequence);
        a.values[1] = -1.5;
        ZelAcqModuleValues b;
        b.position = 2;
        b.code = sequence % 3 == 0 ? 7 : 0;
        b.numValues = b.code ? 0 : 4;
        b.values[3] = 1e-300;
        r.modules = {a, b};
        return r;
    }
    static std::vector<ZelAcqRecord> readAll(ZelRecording& rec) {
        std::vector<ZelAcqRecord> all;
        EXPECT_TRUE(rec.forEach(LLONG_MIN, LLONG_MAX, [&](const ZelAcqRecord& r) {
            all.push_back(r);
            return true;
        })) << rec.error();
        return all;
    }
};

TEST_F(Recorder, GivesBackEveryRecordInOrderWithItsContext) {
    const std::string file = (dir / "a.zelrec").string();
    ZelRecorder recorder;
    ASSERT_TRUE(recorder.open(file, context())) << recorder.error();
    std::vector<ZelAcqRecord> in;
    for (unsigned long long s = 0; s < 50; ++s) {
        in.push_back(sample(s));
        if (s == 20) {
            ZelAcqRecord gap;
            gap.kind = ZEL_ACQ_GAP;
            gap.sequence = 12;
            gap.count = 8;
            gap.position = 2;
            gap.returned = ZEL_ACQ_RETURN_REBOOTED;
            gap.utcUs = in.back().utcUs + 1;
            in.push_back(gap);
            ZelAcqRecord latch;
            latch.kind = ZEL_ACQ_ASYNC;
            latch.messageType = 22;
            latch.latch[4] = 1;
            latch.utcUs = gap.utcUs;
            in.push_back(latch);
        }
    }
    for (const ZelAcqRecord& r : in) ASSERT_TRUE(recorder.push(r));
    ZelAcqStatistics final;
    final.samples = 51;
    final.maxLatenessUs = 7;
    ASSERT_TRUE(recorder.close(&final)) << recorder.error();
    EXPECT_EQ(recorder.statistics().samples, 50u);
    EXPECT_EQ(recorder.statistics().events, 2u);
    EXPECT_EQ(recorder.statistics().dropped, 0u);

    ZelRecording rec;
    ASSERT_TRUE(rec.open(file)) << rec.error();
    const std::vector<ZelAcqRecord> out = readAll(rec);
    ASSERT_EQ(out.size(), in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out[i].kind, in[i].kind);
        EXPECT_EQ(out[i].sequence, in[i].sequence);
        EXPECT_EQ(out[i].count, in[i].count);
        EXPECT_EQ(out[i].utcUs, in[i].utcUs);
        EXPECT_EQ(out[i].deadlineUs, in[i].deadlineUs);
        EXPECT_EQ(out[i].returned, in[i].returned);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out[i].latch), 5),
                  std::string(reinterpret_cast<const char*>(in[i].latch), 5));
        ASSERT_EQ(out[i].modules.size(), in[i].modules.size());
        for (std::size_t m = 0; m < in[i].modules.size(); ++m) {
            EXPECT_EQ(out[i].modules[m].position, in[i].modules[m].position);
            EXPECT_EQ(out[i].modules[m].code, in[i].modules[m].code);
            ASSERT_EQ(out[i].modules[m].numValues, in[i].modules[m].numValues);
            for (int c = 0; c < in[i].modules[m].numValues; ++c)
                EXPECT_EQ(out[i].modules[m].values[c], in[i].modules[m].values[c]);  // bit-exact
        }
    }
    const ZelRecordingContext& c = rec.context();
    ASSERT_EQ(c.modules.size(), 2u);
    EXPECT_EQ(c.modules[0].label, "Spindle");
    EXPECT_EQ(c.modules[1].position, 2);
    ASSERT_EQ(c.channels.size(), 3u);
    EXPECT_EQ(c.channels[0].label, "Height");
    EXPECT_EQ(c.channels[1].unit, "deg");
    EXPECT_EQ(c.configurationContent, "<Station/>");
    EXPECT_EQ(c.libraryVersion, "9.8.7");
    EXPECT_NE(rec.endUtcUs(), 0);
    ZelAcqStatistics back;
    ASSERT_TRUE(rec.finalStatistics(back));
    EXPECT_EQ(back.samples, 51u);
    ZelRecording::Summary s;
    ASSERT_TRUE(rec.summary(s));
    EXPECT_EQ(s.samples, 50u);
    EXPECT_EQ(s.gaps, 1u);
    EXPECT_EQ(s.events, 1u);
    EXPECT_EQ(s.lastSequence, 49u);

    // A span: the samples of sequence 10 to 19, the events between them.
    std::vector<unsigned long long> span;
    ASSERT_TRUE(rec.forEach(in[10].utcUs, in[20].utcUs, [&](const ZelAcqRecord& r) {
        span.push_back(r.sequence);
        return true;
    }));
    EXPECT_EQ(span, (std::vector<unsigned long long>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
}

TEST_F(Recorder, AFullQueueLosesOnlyWhatItCountsAndSays) {
    const std::string file = (dir / "q.zelrec").string();
    ZelRecorder recorder;
    ZelRecorderOptions options;
    options.queueCapacity = 4;
    ASSERT_TRUE(recorder.open(file, context(), options)) << recorder.error();
    const unsigned long long pushed = 20000;
    for (unsigned long long s = 0; s < pushed; ++s) recorder.push(sample(s));
    ASSERT_TRUE(recorder.close()) << recorder.error();
    const ZelRecorderStatistics st = recorder.statistics();
    EXPECT_GT(st.dropped, 0u);
    EXPECT_LE(st.queueHighWater, 4u);

    ZelRecording rec;
    ASSERT_TRUE(rec.open(file)) << rec.error();
    std::set<unsigned long long> seen;
    unsigned long long lost = 0;
    for (const ZelAcqRecord& r : readAll(rec)) {
        if (r.kind == ZEL_ACQ_SAMPLE) {
            EXPECT_TRUE(seen.insert(r.sequence).second) << r.sequence;
        } else {
            ASSERT_EQ(r.kind, ZEL_ACQ_OVERFLOW);
            // The run said lost is exactly the samples missing.
            for (unsigned long long q = r.sequence; q < r.sequence + r.count; ++q)
                EXPECT_EQ(seen.count(q), 0u) << q;
            lost += r.count;
        }
    }
    EXPECT_EQ(lost, st.dropped);
    EXPECT_EQ(seen.size() + lost, pushed);
}

TEST_F(Recorder, PartsJoinedGiveEverySequenceExactlyOnceEachWithItsContext) {
    const std::string file = (dir / "run.zelrec").string();
    ZelRecorder recorder;
    ZelRecorderOptions options;
    options.rotateBytes = 64 * 1024;
    options.commitIntervalMs = 1;
    ASSERT_TRUE(recorder.open(file, context(), options)) << recorder.error();
    const unsigned long long pushed = 6000;
    for (unsigned long long s = 0; s < pushed; ++s) ASSERT_TRUE(recorder.push(sample(s)));
    ASSERT_TRUE(recorder.close()) << recorder.error();
    const ZelRecorderStatistics st = recorder.statistics();
    EXPECT_EQ(st.dropped, 0u);
    ASSERT_GT(st.parts, 2u);

    std::vector<unsigned long long> joined;
    for (unsigned part = 0; part < st.parts; ++part) {
        SCOPED_TRACE(part);
        const std::string name = ZelRecorder::partPath(file, part);
        ZelRecording rec;
        ASSERT_TRUE(rec.open(name)) << rec.error();
        EXPECT_EQ(rec.context().modules.size(), 2u);
        EXPECT_EQ(rec.context().channels.size(), 3u);
        EXPECT_NE(rec.endUtcUs(), 0);
        for (const ZelAcqRecord& r : readAll(rec)) joined.push_back(r.sequence);
    }
    EXPECT_FALSE(fs::exists(ZelRecorder::partPath(file, st.parts)));
    EXPECT_EQ(ZelRecorder::partPath(file, 2), (dir / "run-0002.zelrec").string());
    ASSERT_EQ(joined.size(), pushed);
    for (unsigned long long s = 0; s < pushed; ++s) ASSERT_EQ(joined[s], s);
}

TEST_F(Recorder, NeverTouchesAFileThatExistsNorLeavesOneWhenItCannotStart) {
    struct Case {
        const char* what;
        std::string content;  // empty: none
        ZelRecorderOptions options;
    };
    ZelRecorderOptions tiny;
    tiny.queueCapacity = 3;
    ZelRecorderOptions slow;
    slow.commitIntervalMs = 1001;
    const std::vector<Case> cases = {
        {"an existing file", "measurements of yesterday", {}},
        {"a queue of three", "", tiny},
        {"commits further apart than a second", "", slow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = dir / "x.zelrec";
        fs::remove(file);
        if (!c.content.empty()) std::ofstream(file) << c.content;
        ZelRecorder recorder;
        EXPECT_FALSE(recorder.open(file.string(), context(), c.options));
        EXPECT_FALSE(recorder.error().empty());
        EXPECT_FALSE(recorder.push(sample(0)));
        if (c.content.empty()) {
            EXPECT_FALSE(fs::exists(file));
        } else {
            std::ifstream in(file);
            std::string text;
            std::getline(in, text);
            EXPECT_EQ(text, c.content);
        }
    }
    // Reading: a missing file is not created, a file of another kind is no recording.
    ZelRecording rec;
    EXPECT_FALSE(rec.open((dir / "missing.zelrec").string()));
    EXPECT_FALSE(fs::exists(dir / "missing.zelrec"));
    std::ofstream(dir / "text.zelrec") << "not a recording\n";
    EXPECT_FALSE(rec.open((dir / "text.zelrec").string()));
    EXPECT_NE(rec.error().find("no recording"), std::string::npos) << rec.error();
}

TEST_F(Recorder, AFileThatCanGrowNoFurtherStopsTheRecordingAndStaysReadable) {
    // The child may write files of 256 KiB at most: as on a full disk, the
    // writes past it fail.
    const std::string file = (dir / "full.zelrec").string();
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{256 * 1024, 256 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ZelRecorder recorder;
        ZelRecorderOptions options;
        options.commitIntervalMs = 1;
        if (!recorder.open(file, context(), options)) ::_exit(2);
        // A first commit, then more than the file may hold.
        unsigned long long s = 0;
        for (; s < 10; ++s) recorder.push(sample(s));
        while (recorder.statistics().commits == 0 && !recorder.statistics().failed) ::usleep(1000);
        while (!recorder.statistics().failed && s < 200000) {
            if (recorder.push(sample(s))) ++s;
        }
        const bool closed = recorder.close();
        const bool toldWhy = recorder.error().find(file) != std::string::npos;
        ::_exit(!closed && recorder.statistics().failed && toldWhy ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the recording did not fail with its reason";

    // What was committed reads back: whole, from the first sample on, in order.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);
    ZelRecording rec;
    ASSERT_TRUE(rec.open(file)) << rec.error();
    ZelRecording::Summary s;
    ASSERT_TRUE(rec.summary(s));
    EXPECT_GT(s.samples, 0u);
    EXPECT_EQ(s.firstSequence, 0u);
    EXPECT_EQ(s.lastSequence + 1, s.samples);
    EXPECT_EQ(readAll(rec).size(), s.samples);
}

}  // namespace
