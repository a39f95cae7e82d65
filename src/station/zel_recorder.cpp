// The recorder: a bounded queue in front of one writing thread that stores
// an acquisition's records in a SQLite file in write-ahead-log mode, in
// transactions committed on a short interval; and the reader of such files.
#include "station/zel_recorder.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/thread.h"

namespace {

// Bumped when a reader of an older file would misread a newer one.
constexpr int kFormatVersion = 1;

const char* const kSchema = R"sql(
CREATE TABLE recording(key TEXT PRIMARY KEY, value);
CREATE TABLE modules(position INTEGER PRIMARY KEY, kind TEXT, address TEXT, label TEXT,
                     serial_number TEXT, firmware_version TEXT, channels INTEGER);
CREATE TABLE channels(position INTEGER, channel INTEGER, label TEXT, unit TEXT,
                      PRIMARY KEY(position, channel));
CREATE TABLE samples(sequence INTEGER PRIMARY KEY, ord INTEGER NOT NULL, utc_us INTEGER,
                     deadline_us INTEGER, request_us INTEGER, answer_us INTEGER);
CREATE TABLE sample_values(sequence INTEGER, position INTEGER, code INTEGER, health INTEGER,
                           sent_us INTEGER, received_us INTEGER, num_values INTEGER,
                           v0 REAL, v1 REAL, v2 REAL, v3 REAL, v4 REAL, v5 REAL, v6 REAL, v7 REAL,
                           PRIMARY KEY(sequence, position)) WITHOUT ROWID;
CREATE TABLE events(ord INTEGER PRIMARY KEY, kind INTEGER, kind_name TEXT, sequence INTEGER,
                    count INTEGER, deadline_us INTEGER, request_us INTEGER, answer_us INTEGER,
                    utc_us INTEGER, position INTEGER, health INTEGER, previous INTEGER,
                    returned INTEGER, code INTEGER, message_type INTEGER, latch BLOB,
                    channel INTEGER, status INTEGER);
CREATE INDEX samples_utc ON samples(utc_us);
CREATE INDEX events_utc ON events(utc_us);
CREATE VIEW gaps AS SELECT ord, utc_us, position, sequence AS first_sequence, count AS samples,
                           returned FROM events WHERE kind = 4;
)sql";

const char* const kEventColumns =
    "ord, kind, kind_name, sequence, count, deadline_us, request_us, answer_us, utc_us, "
    "position, health, previous, returned, code, message_type, latch, channel, status";

const char* kindName(int kind) {
    static const char* const names[] = {"sample", "missed", "overflow", "health",
                                        "gap",    "async",  "restored"};
    return kind >= 0 && kind < 7 ? names[kind] : "unknown";
}

long long utcNowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A prepared statement that finalises itself.
struct Statement {
    sqlite3_stmt* s = nullptr;
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(s); }
    void reset() {
        sqlite3_finalize(s);
        s = nullptr;
    }
    bool prepare(sqlite3* db, const char* sql) {
        reset();
        return sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK;
    }
};

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

// ---- Writing ------------------------------------------------------------------------------------

struct ZelRecorder::Impl {
    sqlite3* db = nullptr;
    std::string path;      // the part being written
    std::string basePath;  // the first part's
    unsigned part = 0;
    std::chrono::steady_clock::time_point partStart;
    ZelRecordingContext context;
    ZelRecorderOptions options;
    Statement insertSample;
    Statement insertValues;
    Statement insertEvent;
    Statement setKey;
    unsigned long long ord = 0;  // the next record's place in the stream

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<ZelAcqRecord> queue;
    bool open = false;
    bool stopping = false;
    bool failed = false;
    std::string error;
    unsigned long long lostRun = 0;  // records lost since the last queued one
    unsigned long long firstLost = 0;
    ZelRecorderStatistics counts;
    std::thread writer;

    std::string sqliteError(const char* what) const {
        return std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory") + " (" +
               path + ")";
    }

    bool setValue(const char* key, const std::string& text) {
        sqlite3_reset(setKey.s);
        sqlite3_bind_text(setKey.s, 1, key, -1, SQLITE_STATIC);
        sqlite3_bind_text(setKey.s, 2, text.c_str(), -1, SQLITE_TRANSIENT);
        return sqlite3_step(setKey.s) == SQLITE_DONE;
    }
    bool setValue(const char* key, long long value) {
        sqlite3_reset(setKey.s);
        sqlite3_bind_text(setKey.s, 1, key, -1, SQLITE_STATIC);
        sqlite3_bind_int64(setKey.s, 2, value);
        return sqlite3_step(setKey.s) == SQLITE_DONE;
    }

    bool storeContext(const ZelRecordingContext& c) {
        bool ok = setValue("format_version", kFormatVersion) &&
                  setValue("library_version", c.libraryVersion) && setValue("tool", c.toolName) &&
                  setValue("configuration_file", c.configurationFile) &&
                  setValue("configuration", c.configurationContent) &&
                  setValue("wall_clock_synchronised", c.wallClockSynchronised ? 1 : 0) &&
                  setValue("wall_clock_max_error_us", c.wallClockMaxErrorUs) &&
                  setValue("start_utc_us", utcNowUs());
        sqlite3_reset(setKey.s);
        sqlite3_bind_text(setKey.s, 1, "rate_hz", -1, SQLITE_STATIC);
        sqlite3_bind_double(setKey.s, 2, c.rateHz);
        ok = ok && sqlite3_step(setKey.s) == SQLITE_DONE;
        Statement m;
        Statement ch;
        ok = ok && m.prepare(db, "INSERT INTO modules VALUES(?,?,?,?,?,?,?)") &&
             ch.prepare(db, "INSERT INTO channels VALUES(?,?,?,?)");
        for (const ZelRecordingContext::Module& x : c.modules) {
            if (!ok) break;
            sqlite3_reset(m.s);
            sqlite3_bind_int(m.s, 1, x.position);
            sqlite3_bind_text(m.s, 2, x.kind.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(m.s, 3, x.address.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(m.s, 4, x.label.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(m.s, 5, x.serialNumber.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(m.s, 6, x.firmwareVersion.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(m.s, 7, x.channels);
            ok = sqlite3_step(m.s) == SQLITE_DONE;
        }
        for (const ZelRecordingContext::Channel& x : c.channels) {
            if (!ok) break;
            sqlite3_reset(ch.s);
            sqlite3_bind_int(ch.s, 1, x.position);
            sqlite3_bind_int(ch.s, 2, x.channel);
            sqlite3_bind_text(ch.s, 3, x.label.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ch.s, 4, x.unit.c_str(), -1, SQLITE_TRANSIENT);
            ok = sqlite3_step(ch.s) == SQLITE_DONE;
        }
        return ok;
    }

    // Creates a part: the schema, the context and the start in one
    // transaction, so the file is a recording from its first commit on.
    bool createFile(const std::string& file, std::string& why) {
        path = file;
        partStart = std::chrono::steady_clock::now();
        // An existing file is never overwritten nor appended to.
        if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
            std::fclose(f);
            why = "the file exists already (" + file + ")";
            return false;
        }
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            why = sqliteError("cannot create the recording");
            sqlite3_close(db);
            db = nullptr;
            return false;
        }
        // The schema and the context go in one transaction: the file is a
        // recording from its first commit on, or holds nothing.
        bool ok = exec(db, "PRAGMA journal_mode=WAL") && exec(db, "PRAGMA synchronous=FULL") &&
                  exec(db, "BEGIN") && exec(db, kSchema) &&
                  setKey.prepare(db, "INSERT OR REPLACE INTO recording VALUES(?,?)") &&
                  storeContext(context) && setValue("part", part) && exec(db, "COMMIT");
        ok = ok && insertSample.prepare(db, "INSERT INTO samples VALUES(?,?,?,?,?,?)") &&
             insertValues.prepare(
                 db, "INSERT INTO sample_values VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)") &&
             insertEvent.prepare(db,
                                 "INSERT INTO events VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        if (!ok) {
            why = sqliteError("cannot create the recording");
            setKey.reset();
            sqlite3_close_v2(db);
            db = nullptr;
            std::remove(file.c_str());
            std::remove((file + "-wal").c_str());
            std::remove((file + "-shm").c_str());
            return false;
        }
        return true;
    }

    // Stores a part's end (and the engine's final counts) and closes it;
    // closing checkpoints the log into the file and removes it.
    bool finishFile(const ZelAcqStatistics* final, std::string& why) {
        unsigned long long dropped = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            dropped = counts.dropped;
        }
        bool ok = exec(db, "BEGIN") && setValue("end_utc_us", utcNowUs()) &&
                  setValue("recorder_dropped", static_cast<long long>(dropped));
        if (ok && final != nullptr) {
            ok = setValue("final_samples", static_cast<long long>(final->samples)) &&
                 setValue("final_missed_deadlines",
                          static_cast<long long>(final->missedDeadlines)) &&
                 setValue("final_overflows", static_cast<long long>(final->overflows)) &&
                 setValue("final_max_lateness_us", final->maxLatenessUs) &&
                 setValue("final_wall_clock_synchronised", final->wallClockSynchronised) &&
                 setValue("final_wall_clock_max_error_us", final->wallClockMaxErrorUs);
        }
        ok = ok && exec(db, "COMMIT");
        if (!ok) {
            why = sqliteError("cannot store the recording's end");
            exec(db, "ROLLBACK");
        }
        insertSample.reset();
        insertValues.reset();
        insertEvent.reset();
        setKey.reset();
        sqlite3_close_v2(db);
        db = nullptr;
        return ok;
    }

    // True when the part holds enough to start the next.
    bool rotationDue() {
        if (options.rotateSeconds > 0 && std::chrono::steady_clock::now() - partStart >=
                                             std::chrono::seconds(options.rotateSeconds))
            return true;
        if (options.rotateBytes == 0) return false;
        Statement pages;
        Statement size;
        if (!pages.prepare(db, "PRAGMA page_count") || !size.prepare(db, "PRAGMA page_size") ||
            sqlite3_step(pages.s) != SQLITE_ROW || sqlite3_step(size.s) != SQLITE_ROW)
            return false;
        return static_cast<unsigned long long>(sqlite3_column_int64(pages.s, 0)) *
                   static_cast<unsigned long long>(sqlite3_column_int64(size.s, 0)) >=
               options.rotateBytes;
    }

    // Ends the part and starts the next, between two records.
    bool rotate() {
        std::string why;
        const bool ended = finishFile(nullptr, why);
        ++part;
        if (!ended || !createFile(ZelRecorder::partPath(basePath, part), why)) {
            std::lock_guard<std::mutex> lock(mutex);
            if (error.empty()) error = why;
            return false;
        }
        std::lock_guard<std::mutex> lock(mutex);
        counts.parts = part + 1;
        return true;
    }

    bool store(const ZelAcqRecord& r) {
        if (r.kind == ZEL_ACQ_SAMPLE) {
            sqlite3_stmt* s = insertSample.s;
            sqlite3_reset(s);
            sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(r.sequence));
            sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(ord));
            sqlite3_bind_int64(s, 3, r.utcUs);
            sqlite3_bind_int64(s, 4, r.deadlineUs);
            sqlite3_bind_int64(s, 5, r.requestUs);
            sqlite3_bind_int64(s, 6, r.answerUs);
            if (sqlite3_step(s) != SQLITE_DONE) return false;
            for (const ZelAcqModuleValues& m : r.modules) {
                s = insertValues.s;
                sqlite3_reset(s);
                sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(r.sequence));
                sqlite3_bind_int(s, 2, m.position);
                sqlite3_bind_int(s, 3, m.code);
                sqlite3_bind_int(s, 4, m.health);
                sqlite3_bind_int64(s, 5, m.sentUs);
                sqlite3_bind_int64(s, 6, m.receivedUs);
                sqlite3_bind_int(s, 7, m.numValues);
                for (int c = 0; c < 8; ++c) {
                    if (c < m.numValues)
                        sqlite3_bind_double(s, 8 + c, m.values[c]);
                    else
                        sqlite3_bind_null(s, 8 + c);
                }
                if (sqlite3_step(s) != SQLITE_DONE) return false;
            }
            ++ord;
            return true;
        }
        sqlite3_stmt* s = insertEvent.s;
        sqlite3_reset(s);
        sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(ord));
        sqlite3_bind_int(s, 2, r.kind);
        sqlite3_bind_text(s, 3, kindName(r.kind), -1, SQLITE_STATIC);
        sqlite3_bind_int64(s, 4, static_cast<sqlite3_int64>(r.sequence));
        sqlite3_bind_int64(s, 5, static_cast<sqlite3_int64>(r.count));
        sqlite3_bind_int64(s, 6, r.deadlineUs);
        sqlite3_bind_int64(s, 7, r.requestUs);
        sqlite3_bind_int64(s, 8, r.answerUs);
        sqlite3_bind_int64(s, 9, r.utcUs);
        sqlite3_bind_int(s, 10, r.position);
        sqlite3_bind_int(s, 11, r.health);
        sqlite3_bind_int(s, 12, r.previous);
        sqlite3_bind_int(s, 13, r.returned);
        sqlite3_bind_int(s, 14, r.code);
        sqlite3_bind_int(s, 15, r.messageType);
        sqlite3_bind_blob(s, 16, r.latch, sizeof r.latch, SQLITE_STATIC);
        sqlite3_bind_int(s, 17, r.channel);
        sqlite3_bind_int(s, 18, r.status);
        if (sqlite3_step(s) != SQLITE_DONE) return false;
        ++ord;
        return true;
    }

    // Queues the OVERFLOW record of the run of records lost (under `mutex`).
    void queueLost(long long requestUs, long long utcUs) {
        ZelAcqRecord lost;
        lost.kind = ZEL_ACQ_OVERFLOW;
        lost.sequence = firstLost;
        lost.count = lostRun;
        lost.requestUs = requestUs;
        lost.utcUs = utcUs;
        queue.push_back(std::move(lost));
        lostRun = 0;
    }

    // Stops the recording for good; what was committed stays.
    void fail(const std::string& why) {
        if (db != nullptr) exec(db, "ROLLBACK");
        std::lock_guard<std::mutex> lock(mutex);
        failed = true;
        counts.failed = true;
        if (error.empty()) error = why;
        queue.clear();
    }

    void writeLoop() {
        zel::platform::nameCurrentThread("zel-record");
        using Clock = std::chrono::steady_clock;
        const auto interval = std::chrono::milliseconds(options.commitIntervalMs);
        bool inTransaction = false;
        Clock::time_point commitBy{};
        std::deque<ZelAcqRecord> batch;
        unsigned long long batchSamples = 0;
        unsigned long long batchEvents = 0;
        for (;;) {
            bool stop = false;
            {
                std::unique_lock<std::mutex> lock(mutex);
                auto ready = [&] { return !queue.empty() || stopping; };
                if (inTransaction)
                    wake.wait_until(lock, commitBy, ready);
                else
                    wake.wait(lock, ready);
                batch.swap(queue);
                stop = stopping && batch.empty();
            }
            // Commits (and rotates) on time inside a long batch too.
            auto commit = [&] {
                if (!exec(db, "COMMIT")) return false;
                inTransaction = false;
                std::lock_guard<std::mutex> lock(mutex);
                counts.samples += batchSamples;
                counts.events += batchEvents;
                ++counts.commits;
                batchSamples = batchEvents = 0;
                return true;
            };
            for (const ZelAcqRecord& r : batch) {
                if (!inTransaction) {
                    if (!exec(db, "BEGIN")) return fail(sqliteError("cannot write"));
                    inTransaction = true;
                    commitBy = Clock::now() + interval;
                }
                if (!store(r)) return fail(sqliteError("recording stopped"));
                ++(r.kind == ZEL_ACQ_SAMPLE ? batchSamples : batchEvents);
                if (Clock::now() >= commitBy) {
                    if (!commit()) return fail(sqliteError("recording stopped"));
                    if (rotationDue() && !rotate()) return fail("cannot start the next part");
                }
            }
            batch.clear();
            if (inTransaction && (stop || Clock::now() >= commitBy)) {
                if (!commit()) return fail(sqliteError("recording stopped"));
                if (!stop && rotationDue() && !rotate()) return fail("cannot start the next part");
            }
            if (stop) return;
        }
    }
};

ZelRecorder::ZelRecorder() : impl(std::make_unique<Impl>()) {}

ZelRecorder::~ZelRecorder() { close(); }

bool ZelRecorder::open(const std::string& path, const ZelRecordingContext& context,
                       const ZelRecorderOptions& options) {
    if (impl->open) {
        impl->error = "the recorder is already open";
        return false;
    }
    impl = std::make_unique<Impl>();
    Impl& d = *impl;
    if (options.queueCapacity < 4 || options.commitIntervalMs < 1 ||
        options.commitIntervalMs > 1000) {
        d.error = "queue capacity below 4 or commit interval outside 1 to 1000 ms";
        return false;
    }
    d.basePath = path;
    d.options = options;
    d.counts.parts = 1;
    d.counts.queueCapacity = options.queueCapacity;
    d.context = context;
    if (!d.createFile(path, d.error)) return false;
    d.open = true;
    d.writer = std::thread([&d] { d.writeLoop(); });
    return true;
}

bool ZelRecorder::push(const ZelAcqRecord& record) {
    Impl& d = *impl;
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.open || d.stopping || d.failed) return false;
    const std::size_t needed = d.lostRun > 0 ? 2 : 1;
    if (d.queue.size() + needed > d.options.queueCapacity) {
        if (d.lostRun++ == 0) d.firstLost = record.sequence;
        ++d.counts.dropped;
        return false;
    }
    if (d.lostRun > 0) d.queueLost(record.requestUs, record.utcUs);
    d.queue.push_back(record);
    d.counts.queueHighWater = std::max(d.counts.queueHighWater, d.queue.size());
    d.wake.notify_one();
    return true;
}

bool ZelRecorder::close(const ZelAcqStatistics* final) {
    Impl& d = *impl;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (!d.open) return !d.failed && d.error.empty();
        // Records lost at the very end are said too.
        if (d.lostRun > 0 && !d.failed) d.queueLost(0, utcNowUs());
        d.stopping = true;
    }
    d.wake.notify_one();
    d.writer.join();
    bool ok = !d.failed;
    std::string why;
    if (ok && !d.finishFile(final, why)) {
        ok = false;
        d.fail(why);
    }
    if (d.db != nullptr) {
        d.insertSample.reset();
        d.insertValues.reset();
        d.insertEvent.reset();
        d.setKey.reset();
        sqlite3_close_v2(d.db);
        d.db = nullptr;
    }
    std::lock_guard<std::mutex> lock(d.mutex);
    d.open = false;
    return ok;
}

std::string ZelRecorder::partPath(const std::string& path, unsigned part) {
    if (part == 0) return path;
    char number[16];
    std::snprintf(number, sizeof number, "-%04u", part);
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    const std::size_t at =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? dot
                                                                                    : path.size();
    return path.substr(0, at) + number + path.substr(at);
}

std::string ZelRecorder::error() const {
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->error;
}

ZelRecorderStatistics ZelRecorder::statistics() const {
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->counts;
}

// ---- Reading ------------------------------------------------------------------------------------

struct ZelRecording::Impl {
    sqlite3* db = nullptr;
    std::string error;
    ZelRecordingContext context;
    long long start = 0, end = 0;
    unsigned part = 0;
    bool hasFinal = false;
    ZelAcqStatistics final;
    ~Impl() { sqlite3_close_v2(db); }

    bool value(const char* key, long long& out) {
        Statement s;
        if (!s.prepare(db, "SELECT value FROM recording WHERE key = ?")) return false;
        sqlite3_bind_text(s.s, 1, key, -1, SQLITE_STATIC);
        if (sqlite3_step(s.s) != SQLITE_ROW || sqlite3_column_type(s.s, 0) == SQLITE_NULL)
            return false;
        out = sqlite3_column_int64(s.s, 0);
        return true;
    }
    std::string text(const char* key) {
        Statement s;
        if (!s.prepare(db, "SELECT value FROM recording WHERE key = ?")) return "";
        sqlite3_bind_text(s.s, 1, key, -1, SQLITE_STATIC);
        if (sqlite3_step(s.s) != SQLITE_ROW) return "";
        const unsigned char* t = sqlite3_column_text(s.s, 0);
        return t ? reinterpret_cast<const char*>(t) : "";
    }
};

ZelRecording::ZelRecording() : impl(std::make_unique<Impl>()) {}
ZelRecording::~ZelRecording() = default;

std::string ZelRecording::error() const { return impl->error; }
const ZelRecordingContext& ZelRecording::context() const { return impl->context; }
long long ZelRecording::startUtcUs() const { return impl->start; }
long long ZelRecording::endUtcUs() const { return impl->end; }
unsigned ZelRecording::part() const { return impl->part; }

bool ZelRecording::finalStatistics(ZelAcqStatistics& statistics) const {
    if (impl->hasFinal) statistics = impl->final;
    return impl->hasFinal;
}

static std::string column(sqlite3_stmt* s, int i) {
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? reinterpret_cast<const char*>(t) : "";
}

bool ZelRecording::open(const std::string& path) {
    impl = std::make_unique<Impl>();
    Impl& d = *impl;
    // Read-write without creating: a recording whose writer was killed has
    // its log merged on the first open. Read-only when that is all allowed.
    int rc = sqlite3_open_v2(path.c_str(), &d.db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(d.db);
        d.db = nullptr;
        rc = sqlite3_open_v2(path.c_str(), &d.db, SQLITE_OPEN_READONLY, nullptr);
    }
    long long format = 0;
    if (rc != SQLITE_OK || !exec(d.db, "PRAGMA query_only=1") ||
        !d.value("format_version", format)) {
        d.error = "no recording (" + path +
                  (d.db ? std::string(": ") + sqlite3_errmsg(d.db) : std::string()) + ")";
        return false;
    }
    if (format > kFormatVersion) {
        d.error = "a recording of a newer format (" + std::to_string(format) + ") (" + path + ")";
        return false;
    }
    ZelRecordingContext& c = d.context;
    c.libraryVersion = d.text("library_version");
    c.toolName = d.text("tool");
    c.configurationFile = d.text("configuration_file");
    c.configurationContent = d.text("configuration");
    c.rateHz = std::atof(d.text("rate_hz").c_str());
    long long v = 0;
    c.wallClockSynchronised = d.value("wall_clock_synchronised", v) && v != 0;
    if (d.value("wall_clock_max_error_us", v)) c.wallClockMaxErrorUs = v;
    d.value("start_utc_us", d.start);
    d.value("end_utc_us", d.end);
    if (d.value("part", v)) d.part = static_cast<unsigned>(v);
    Statement m;
    Statement ch;
    if (!m.prepare(d.db,
                   "SELECT position, kind, address, label, serial_number, firmware_version, "
                   "channels FROM modules ORDER BY position") ||
        !ch.prepare(d.db,
                    "SELECT position, channel, label, unit FROM channels "
                    "ORDER BY position, channel")) {
        d.error = std::string("no recording (") + path + ": " + sqlite3_errmsg(d.db) + ")";
        return false;
    }
    while (sqlite3_step(m.s) == SQLITE_ROW) {
        ZelRecordingContext::Module x;
        x.position = static_cast<unsigned short>(sqlite3_column_int(m.s, 0));
        x.kind = column(m.s, 1);
        x.address = column(m.s, 2);
        x.label = column(m.s, 3);
        x.serialNumber = column(m.s, 4);
        x.firmwareVersion = column(m.s, 5);
        x.channels = static_cast<unsigned short>(sqlite3_column_int(m.s, 6));
        c.modules.push_back(x);
    }
    while (sqlite3_step(ch.s) == SQLITE_ROW) {
        ZelRecordingContext::Channel x;
        x.position = static_cast<unsigned short>(sqlite3_column_int(ch.s, 0));
        x.channel = static_cast<unsigned short>(sqlite3_column_int(ch.s, 1));
        x.label = column(ch.s, 2);
        x.unit = column(ch.s, 3);
        c.channels.push_back(x);
    }
    long long n = 0;
    if (d.value("final_samples", n)) {
        d.hasFinal = true;
        d.final.samples = static_cast<unsigned long long>(n);
        if (d.value("final_missed_deadlines", n))
            d.final.missedDeadlines = static_cast<unsigned long long>(n);
        if (d.value("final_overflows", n)) d.final.overflows = static_cast<unsigned long long>(n);
        d.value("final_max_lateness_us", d.final.maxLatenessUs);
        d.final.wallClockSynchronised = d.value("final_wall_clock_synchronised", n) && n != 0;
        d.value("final_wall_clock_max_error_us", d.final.wallClockMaxErrorUs);
    }
    return true;
}

bool ZelRecording::summary(Summary& out) {
    Impl& d = *impl;
    out = Summary();
    Statement s;
    Statement e;
    if (!s.prepare(d.db,
                   "SELECT count(*), min(sequence), max(sequence), min(utc_us), "
                   "max(utc_us) FROM samples") ||
        !e.prepare(d.db, "SELECT count(*), sum(kind = 4) FROM events") ||
        sqlite3_step(s.s) != SQLITE_ROW || sqlite3_step(e.s) != SQLITE_ROW) {
        d.error = std::string("cannot read the recording: ") + sqlite3_errmsg(d.db);
        return false;
    }
    out.samples = static_cast<unsigned long long>(sqlite3_column_int64(s.s, 0));
    out.firstSequence = static_cast<unsigned long long>(sqlite3_column_int64(s.s, 1));
    out.lastSequence = static_cast<unsigned long long>(sqlite3_column_int64(s.s, 2));
    out.firstUtcUs = sqlite3_column_int64(s.s, 3);
    out.lastUtcUs = sqlite3_column_int64(s.s, 4);
    out.gaps = static_cast<unsigned long long>(sqlite3_column_int64(e.s, 1));
    out.events = static_cast<unsigned long long>(sqlite3_column_int64(e.s, 0)) - out.gaps;
    return true;
}

bool ZelRecording::each(long long fromUtcUs, long long toUtcUs, void* user,
                        bool (*take)(void*, const ZelAcqRecord&)) {
    Impl& d = *impl;
    Statement s;
    Statement e;
    const std::string events = std::string("SELECT ") + kEventColumns +
                               " FROM events WHERE utc_us >= ?1 AND utc_us < ?2 ORDER BY ord";
    if (!s.prepare(d.db,
                   "SELECT s.ord, s.sequence, s.utc_us, s.deadline_us, s.request_us, "
                   "s.answer_us, v.position, v.code, v.health, v.sent_us, v.received_us, "
                   "v.num_values, v.v0, v.v1, v.v2, v.v3, v.v4, v.v5, v.v6, v.v7 "
                   "FROM samples s LEFT JOIN sample_values v ON v.sequence = s.sequence "
                   "WHERE s.utc_us >= ?1 AND s.utc_us < ?2 ORDER BY s.sequence, v.position") ||
        !e.prepare(d.db, events.c_str())) {
        d.error = std::string("cannot read the recording: ") + sqlite3_errmsg(d.db);
        return false;
    }
    for (Statement* st : {&s, &e}) {
        sqlite3_bind_int64(st->s, 1, fromUtcUs);
        sqlite3_bind_int64(st->s, 2, toUtcUs);
    }
    int sr = sqlite3_step(s.s);
    int er = sqlite3_step(e.s);
    ZelAcqRecord r;
    while (sr == SQLITE_ROW || er == SQLITE_ROW) {
        const bool sampleNext =
            sr == SQLITE_ROW &&
            (er != SQLITE_ROW || sqlite3_column_int64(s.s, 0) < sqlite3_column_int64(e.s, 0));
        r = ZelAcqRecord();
        if (sampleNext) {
            const sqlite3_int64 sequence = sqlite3_column_int64(s.s, 1);
            r.kind = ZEL_ACQ_SAMPLE;
            r.sequence = static_cast<unsigned long long>(sequence);
            r.utcUs = sqlite3_column_int64(s.s, 2);
            r.deadlineUs = sqlite3_column_int64(s.s, 3);
            r.requestUs = sqlite3_column_int64(s.s, 4);
            r.answerUs = sqlite3_column_int64(s.s, 5);
            while (sr == SQLITE_ROW && sqlite3_column_int64(s.s, 1) == sequence) {
                if (sqlite3_column_type(s.s, 6) != SQLITE_NULL) {
                    ZelAcqModuleValues m;
                    m.position = static_cast<unsigned short>(sqlite3_column_int(s.s, 6));
                    m.code = sqlite3_column_int(s.s, 7);
                    m.health = sqlite3_column_int(s.s, 8);
                    m.sentUs = sqlite3_column_int64(s.s, 9);
                    m.receivedUs = sqlite3_column_int64(s.s, 10);
                    m.numValues = static_cast<unsigned short>(
                        std::min(8, std::max(0, sqlite3_column_int(s.s, 11))));
                    for (int c = 0; c < m.numValues; ++c)
                        m.values[c] = sqlite3_column_double(s.s, 12 + c);
                    r.modules.push_back(m);
                }
                sr = sqlite3_step(s.s);
            }
        } else {
            sqlite3_stmt* q = e.s;
            r.kind = sqlite3_column_int(q, 1);
            r.sequence = static_cast<unsigned long long>(sqlite3_column_int64(q, 3));
            r.count = static_cast<unsigned long long>(sqlite3_column_int64(q, 4));
            r.deadlineUs = sqlite3_column_int64(q, 5);
            r.requestUs = sqlite3_column_int64(q, 6);
            r.answerUs = sqlite3_column_int64(q, 7);
            r.utcUs = sqlite3_column_int64(q, 8);
            r.position = static_cast<unsigned short>(sqlite3_column_int(q, 9));
            r.health = sqlite3_column_int(q, 10);
            r.previous = sqlite3_column_int(q, 11);
            r.returned = sqlite3_column_int(q, 12);
            r.code = sqlite3_column_int(q, 13);
            r.messageType = sqlite3_column_int(q, 14);
            const int bytes = std::min<int>(sqlite3_column_bytes(q, 15), sizeof r.latch);
            if (bytes > 0) std::memcpy(r.latch, sqlite3_column_blob(q, 15), bytes);
            r.channel = static_cast<unsigned short>(sqlite3_column_int(q, 16));
            r.status = static_cast<unsigned short>(sqlite3_column_int(q, 17));
            er = sqlite3_step(e.s);
        }
        if (!take(user, r)) return true;
    }
    if (sr != SQLITE_DONE || er != SQLITE_DONE) {
        d.error = std::string("cannot read the recording: ") + sqlite3_errmsg(d.db);
        return false;
    }
    return true;
}
