// ZelMqttPublisher: batches of the stream, kept in an SQLite backlog until
// the broker acknowledged them; see zel_mqtt_publisher.h.
#include "station/zel_mqtt_publisher.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <netdb.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/thread.h"
#include "station/zel_acquisition_text.h"

namespace {

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The library's texts are Latin-1; the payloads UTF-8.
std::string jsonText(const std::string& latin1) {
    std::string utf8;
    for (const unsigned char ch : latin1) {
        if (ch < 0x80) {
            utf8 += static_cast<char>(ch);
        } else {
            utf8 += static_cast<char>(0xC0 | (ch >> 6));
            utf8 += static_cast<char>(0x80 | (ch & 0x3F));
        }
    }
    return zelJsonText(utf8);
}

std::string number(double v) {
    if (!std::isfinite(v)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

std::string eventJson(const ZelAcqRecord& r) {
    std::string j = "{\"kind\":\"" + std::string(zelAcqKindName(r.kind)) + "\",\"utc\":\"" +
                    zelIsoUtc(r.utcUs) + "\",\"sequence\":" + std::to_string(r.sequence);
    j += zelAcqEventFields(r, false);
    return j + "}";
}

std::string sampleJson(const ZelAcqRecord& r) {
    std::string j = "{\"sequence\":" + std::to_string(r.sequence) + ",\"utc\":\"" +
                    zelIsoUtc(r.utcUs) + "\",\"utc_us\":" + std::to_string(r.utcUs) +
                    ",\"request_us\":" + std::to_string(r.requestUs) +
                    ",\"answer_us\":" + std::to_string(r.answerUs) + ",\"modules\":[";
    for (std::size_t i = 0; i < r.modules.size(); ++i) {
        const ZelAcqModuleValues& m = r.modules[i];
        j += std::string(i ? "," : "") + "{\"position\":" + std::to_string(m.position) +
             ",\"code\":" + std::to_string(m.code) + ",\"health\":\"" + zelAcqHealthName(m.health) +
             "\",\"values\":[";
        for (unsigned short c = 0; c < m.numValues && c < 8; ++c)
            j += (c ? "," : "") + number(m.values[c]);
        j += "]}";
    }
    return j + "]}";
}

// Whether a TCP connection to the broker opens within `timeoutMs`: the
// client library's own connect waits as long as the system lets it.
bool reachable(const std::string& host, unsigned short port, int timeoutMs, std::string& why) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int g = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (g != 0) {
        why = host + ": " + gai_strerror(g);
        return false;
    }
    bool ok = false;
    int error = 0;
    for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
        const int s =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) continue;
        if (::connect(s, a->ai_addr, a->ai_addrlen) == 0) {
            ok = true;
        } else if (errno == EINPROGRESS) {
            pollfd p{s, POLLOUT, 0};
            if (::poll(&p, 1, timeoutMs) == 1) {
                socklen_t len = sizeof error;
                getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len);
                ok = error == 0;
            } else {
                error = ETIMEDOUT;
            }
        } else {
            error = errno;
        }
        ::close(s);
    }
    freeaddrinfo(found);
    if (!ok) why = host + ":" + std::to_string(port) + ": " + std::strerror(error);
    return ok;
}

std::once_flag libraryInit;

}  // namespace

struct ZelMqttPublisher::Impl {
    ZelMqttOptions o;
    ZelRecordingContext d;
    std::string samplesTopic, stateTopic, modulesTopic, run;

    // Shared with the host's threads.
    mutable std::mutex m;
    std::deque<ZelAcqRecord> in;
    std::size_t capacity = 65536;
    ZelMqttCounters c;
    std::string err;
    int wake[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    long long drainUntilMs = 0;
    bool running = false;
    bool emptied = false;
    std::thread worker;

    // The publishing thread's own.
    sqlite3* db = nullptr;
    mosquitto* mosq = nullptr;
    bool session = false;
    bool broken = false;
    long long cursor = 0;  // the last backlog row handed to this session
    struct Flight {
        long long row;
        long long samples;
        long long last;
    };
    std::map<int, Flight> inflight;
    std::set<int> earlyAcks;
    long long nextAttemptMs = 0;
    long backoffMs = 0;
    // The batch being gathered.
    std::string samplesJson, eventsJson;
    long long batchSamples = 0;
    unsigned long long first = 0, last = 0;
    long long batchStartMs = 0;
    bool batchOpen = false;
    // Each module's health, by its place in the description.
    std::map<unsigned short, ZelAcqRecord> health;
    std::set<unsigned short> dirtyModules;
    int goodbyeMid = -1;
    bool goodbyeAcked = false;

    ~Impl() { closeFiles(); }
    void closeFiles() {
        if (db != nullptr) sqlite3_close(db);
        db = nullptr;
        for (int& f : wake) {
            if (f >= 0) ::close(f);
            f = -1;
        }
    }

    bool exec(const char* sql) {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    bool openBacklog(std::string& why) {
        const std::string path = o.backlogFile.empty() ? ":memory:" : o.backlogFile;
        if (sqlite3_open_v2(path.c_str(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                            nullptr) != SQLITE_OK ||
            !exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=NORMAL") ||
            !exec("CREATE TABLE IF NOT EXISTS backlog (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                  "first INTEGER, "
                  "last INTEGER, samples INTEGER NOT NULL, payload TEXT NOT NULL)")) {
            why = "the backlog " + path +
                  " cannot be opened: " + (db ? sqlite3_errmsg(db) : "out of memory");
            return false;
        }
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*), coalesce(sum(samples), 0) FROM backlog", -1, &s,
                           nullptr);
        if (s == nullptr || sqlite3_step(s) != SQLITE_ROW) {
            why = "the backlog " + path + " cannot be read: " + sqlite3_errmsg(db);
            sqlite3_finalize(s);
            return false;
        }
        c.backlogBatches = static_cast<unsigned long long>(sqlite3_column_int64(s, 0));
        c.backlogSamples = static_cast<unsigned long long>(sqlite3_column_int64(s, 1));
        c.backlogHighWater = c.backlogSamples;
        sqlite3_finalize(s);
        return true;
    }

    std::string channelsJson() const {
        std::string j = "[";
        for (std::size_t i = 0; i < d.channels.size(); ++i) {
            const auto& ch = d.channels[i];
            j += std::string(i ? "," : "") + "{\"position\":" + std::to_string(ch.position) +
                 ",\"channel\":" + std::to_string(ch.channel) + ",\"label\":" + jsonText(ch.label) +
                 ",\"unit\":" + jsonText(ch.unit) + "}";
        }
        return j + "]";
    }

    std::string stateJson(const char* state, const char* reason) const {
        std::string j = "{\"station\":" + jsonText(o.station) + ",\"state\":\"" + state + "\"";
        if (reason != nullptr) j += ",\"reason\":\"" + std::string(reason) + "\"";
        return j + ",\"run\":\"" + run + "\",\"rate_hz\":" + number(d.rateHz) +
               ",\"modules\":" + std::to_string(d.modules.size()) + "}";
    }

    std::string moduleJson(const ZelRecordingContext::Module& mod) const {
        std::string j = "{\"station\":" + jsonText(o.station) +
                        ",\"position\":" + std::to_string(mod.position) +
                        ",\"label\":" + jsonText(mod.label) + ",\"kind\":" + jsonText(mod.kind) +
                        ",\"address\":" + jsonText(mod.address) +
                        ",\"serial_number\":" + jsonText(mod.serialNumber);
        const auto h = health.find(mod.position);
        if (h == health.end()) {
            j += ",\"health\":\"ok\"";
        } else {
            j += ",\"health\":\"" + std::string(zelAcqHealthName(h->second.health)) +
                 "\",\"code\":" + std::to_string(h->second.code) +
                 ",\"returned\":" + jsonText(zelAcqReturnName(h->second.returned)) + ",\"utc\":\"" +
                 zelIsoUtc(h->second.utcUs) + "\"";
        }
        j += ",\"channels\":[";
        bool firstChannel = true;
        for (const auto& ch : d.channels) {
            if (ch.position != mod.position) continue;
            j += std::string(firstChannel ? "" : ",") +
                 "{\"channel\":" + std::to_string(ch.channel) + ",\"label\":" + jsonText(ch.label) +
                 ",\"unit\":" + jsonText(ch.unit) + "}";
            firstChannel = false;
        }
        return j + "]}";
    }

    void take(const ZelAcqRecord& r) {
        if (!batchOpen) {
            batchOpen = true;
            batchStartMs = nowMs();
        }
        if (r.kind == ZEL_ACQ_SAMPLE) {
            if (batchSamples == 0) first = r.sequence;
            last = r.sequence;
            samplesJson += (batchSamples ? "," : "") + sampleJson(r);
            ++batchSamples;
            return;
        }
        eventsJson += (eventsJson.empty() ? "" : ",") + eventJson(r);
        if (r.kind == ZEL_ACQ_HEALTH) {
            health[r.position] = r;
            dirtyModules.insert(r.position);
        }
    }

    // The batch into the backlog, making room by dropping the oldest
    // batches not in flight.
    void flushBatch() {
        if (!batchOpen) return;
        makeRoom(static_cast<unsigned long long>(batchSamples));
        unsigned long long dropped;
        {
            std::lock_guard<std::mutex> lock(m);
            dropped = c.droppedSamples;
        }
        std::string payload = "{\"station\":" + jsonText(o.station) + ",\"run\":\"" + run +
                              "\",\"count\":" + std::to_string(batchSamples);
        if (batchSamples > 0) {
            payload += ",\"first\":" + std::to_string(first) + ",\"last\":" + std::to_string(last);
        }
        payload += ",\"dropped\":" + std::to_string(dropped) + ",\"channels\":" + channelsJson() +
                   ",\"samples\":[" + samplesJson + "],\"events\":[" + eventsJson + "]}";
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(
            db, "INSERT INTO backlog (first, last, samples, payload) VALUES (?, ?, ?, ?)", -1, &s,
            nullptr);
        if (batchSamples > 0) {
            sqlite3_bind_int64(s, 1, static_cast<long long>(first));
            sqlite3_bind_int64(s, 2, static_cast<long long>(last));
        }
        sqlite3_bind_int64(s, 3, batchSamples);
        sqlite3_bind_text(s, 4, payload.data(), static_cast<int>(payload.size()), SQLITE_TRANSIENT);
        const bool stored = sqlite3_step(s) == SQLITE_DONE;
        sqlite3_finalize(s);
        {
            std::lock_guard<std::mutex> lock(m);
            if (stored) {
                c.backlogSamples += static_cast<unsigned long long>(batchSamples);
                ++c.backlogBatches;
                c.backlogHighWater = std::max(c.backlogHighWater, c.backlogSamples);
            } else {
                c.droppedSamples += static_cast<unsigned long long>(batchSamples);
                err = std::string("the backlog cannot be written: ") + sqlite3_errmsg(db);
            }
        }
        samplesJson.clear();
        eventsJson.clear();
        batchSamples = 0;
        batchOpen = false;
    }

    void makeRoom(unsigned long long coming) {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m);
                if (c.backlogSamples + coming <= o.backlogSamples || c.backlogBatches == 0) return;
            }
            sqlite3_stmt* s = nullptr;
            sqlite3_prepare_v2(db,
                               "SELECT id, samples FROM backlog WHERE id > ? ORDER BY id LIMIT 1",
                               -1, &s, nullptr);
            sqlite3_bind_int64(s, 1, inflight.empty() ? 0 : cursor);
            long long row = -1;
            long long samples = 0;
            if (sqlite3_step(s) == SQLITE_ROW) {
                row = sqlite3_column_int64(s, 0);
                samples = sqlite3_column_int64(s, 1);
            }
            sqlite3_finalize(s);
            if (row < 0) return;  // everything waiting is in flight
            removeRow(row);
            std::lock_guard<std::mutex> lock(m);
            c.droppedSamples += static_cast<unsigned long long>(samples);
            c.backlogSamples -= static_cast<unsigned long long>(samples);
            --c.backlogBatches;
        }
    }

    void removeRow(long long row) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "DELETE FROM backlog WHERE id = ?", -1, &s, nullptr);
        sqlite3_bind_int64(s, 1, row);
        sqlite3_step(s);
        sqlite3_finalize(s);
    }

    static void onConnect(mosquitto* /*client*/, void* self, int rc) {
        auto* p = static_cast<Impl*>(self);
        if (rc != 0) {
            p->fail(std::string("the broker refused the connection: ") +
                    mosquitto_connack_string(rc));
            return;
        }
        p->session = true;
        p->backoffMs = 0;
        p->cursor = 0;
        p->publishRetained(p->stateTopic, p->stateJson("online", nullptr));
        for (const auto& mod : p->d.modules) p->dirtyModules.insert(mod.position);
        std::lock_guard<std::mutex> lock(p->m);
        p->c.connected = true;
        ++p->c.connections;
        p->err.clear();
    }

    static void onDisconnect(mosquitto* /*client*/, void* self, int rc) {
        auto* p = static_cast<Impl*>(self);
        if (rc != 0) p->fail("the connection to the broker was lost");
        p->broken = true;
    }

    static void onPublish(mosquitto* /*client*/, void* self, int mid) {
        static_cast<Impl*>(self)->acked(mid);
    }

    void acked(int mid) {
        if (mid == goodbyeMid) {
            goodbyeAcked = true;
            return;
        }
        const auto f = inflight.find(mid);
        if (f == inflight.end()) {
            earlyAcks.insert(mid);
            return;
        }
        removeRow(f->second.row);
        std::lock_guard<std::mutex> lock(m);
        c.publishedSamples += static_cast<unsigned long long>(f->second.samples);
        ++c.publishedBatches;
        c.backlogSamples -= static_cast<unsigned long long>(f->second.samples);
        --c.backlogBatches;
        if (f->second.samples > 0) c.lastSequence = static_cast<unsigned long long>(f->second.last);
        inflight.erase(f);
    }

    void fail(const std::string& why) {
        std::lock_guard<std::mutex> lock(m);
        err = why;
    }

    int publishRetained(const std::string& topic, const std::string& payload) {
        int mid = 0;
        if (mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), o.qos, true) != MOSQ_ERR_SUCCESS) {
            broken = true;
        }
        return mid;
    }

    // A new client for each session: what the last one did not get
    // acknowledged goes again from the backlog, never twice.
    void connect() {
        std::string why;
        if (!reachable(o.host, o.port, 2000, why)) {
            attemptFailed(why);
            return;
        }
        mosq = mosquitto_new(o.clientId.c_str(), true, this);
        if (mosq == nullptr) {
            attemptFailed("the client cannot be made");
            return;
        }
        mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(mosq, &Impl::onConnect);
        mosquitto_disconnect_callback_set(mosq, &Impl::onDisconnect);
        mosquitto_publish_callback_set(mosq, &Impl::onPublish);
        const std::string will = stateJson("offline", "connection lost");
        int rc = configure(mosq, will, why);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_connect(mosq, o.host.c_str(), o.port, o.keepaliveS);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (why.empty()) {
                why = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
            }
            mosquitto_destroy(mosq);
            mosq = nullptr;
            attemptFailed(o.host + ":" + std::to_string(o.port) + ": " + why);
        }
    }

    int configure(mosquitto* client, const std::string& will, std::string& why) const {
        int rc = mosquitto_will_set(client, stateTopic.c_str(), static_cast<int>(will.size()),
                                    will.data(), o.qos, true);
        if (rc == MOSQ_ERR_SUCCESS && !o.user.empty()) {
            rc = mosquitto_username_pw_set(client, o.user.c_str(),
                                           o.password.empty() ? nullptr : o.password.c_str());
        }
        if (rc == MOSQ_ERR_SUCCESS && (!o.caFile.empty() || !o.caPath.empty())) {
            auto opt = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
            rc = mosquitto_tls_set(client, opt(o.caFile), opt(o.caPath), opt(o.certFile),
                                   opt(o.keyFile), nullptr);
            if (rc != MOSQ_ERR_SUCCESS) {
                why = "the TLS files cannot be used (ca_file " + o.caFile + ", cert_file " +
                      o.certFile + ", key_file " + o.keyFile + "): " + mosquitto_strerror(rc);
            }
        }
        return rc;
    }

    void attemptFailed(const std::string& why) {
        backoffMs = backoffMs == 0 ? o.reconnectFirstMs : std::min(backoffMs * 2, o.reconnectMaxMs);
        nextAttemptMs = nowMs() + backoffMs;
        std::lock_guard<std::mutex> lock(m);
        ++c.failedConnections;
        err = why;
    }

    void dropConnection() {
        if (mosq != nullptr) mosquitto_destroy(mosq);
        mosq = nullptr;
        const bool wasOpen = session;
        session = false;
        broken = false;
        inflight.clear();
        earlyAcks.clear();
        cursor = 0;
        if (wasOpen) {
            backoffMs = 0;
            nextAttemptMs = nowMs() + o.reconnectFirstMs;
        } else {
            attemptFailed(error());
        }
        std::lock_guard<std::mutex> lock(m);
        c.connected = false;
    }

    std::string error() const {
        std::lock_guard<std::mutex> lock(m);
        return err;
    }

    // The backlog's next batches, in order, up to the in-flight bound.
    void publishBacklog() {
        for (const unsigned short position : dirtyModules) {
            for (const auto& mod : d.modules) {
                if (mod.position == position) {
                    publishRetained(modulesTopic + std::to_string(position) + "/state",
                                    moduleJson(mod));
                }
            }
        }
        dirtyModules.clear();
        while (!broken && inflight.size() < o.inflight) {
            sqlite3_stmt* s = nullptr;
            sqlite3_prepare_v2(
                db,
                "SELECT id, samples, last, payload FROM backlog WHERE id > ? ORDER BY id LIMIT 1",
                -1, &s, nullptr);
            sqlite3_bind_int64(s, 1, cursor);
            if (sqlite3_step(s) != SQLITE_ROW) {
                sqlite3_finalize(s);
                return;
            }
            const Flight f{sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                           sqlite3_column_int64(s, 2)};
            const int size = sqlite3_column_bytes(s, 3);
            const void* payload = sqlite3_column_blob(s, 3);
            int mid = 0;
            const int rc =
                mosquitto_publish(mosq, &mid, samplesTopic.c_str(), size, payload, o.qos, false);
            sqlite3_finalize(s);
            if (rc != MOSQ_ERR_SUCCESS) {
                broken = true;
                return;
            }
            cursor = f.row;
            inflight[mid] = f;
            if (earlyAcks.erase(mid) != 0) acked(mid);
        }
    }

    bool backlogEmpty() const {
        std::lock_guard<std::mutex> lock(m);
        return c.backlogBatches == 0;
    }

    void serve(int timeoutMs) {
        pollfd fds[2] = {{wake[0], POLLIN, 0}, {-1, 0, 0}};
        nfds_t n = 1;
        if (mosq != nullptr && mosquitto_socket(mosq) >= 0) {
            fds[1].fd = mosquitto_socket(mosq);
            fds[1].events = static_cast<short>(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0));
            n = 2;
        }
        ::poll(fds, n, timeoutMs);
        if (fds[0].revents & POLLIN) {
            char buffer[64];
            while (::read(wake[0], buffer, sizeof buffer) > 0) {
            }
        }
        if (mosq == nullptr) return;
        int rc = MOSQ_ERR_SUCCESS;
        if (n == 2 && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)))
            rc = mosquitto_loop_read(mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS && n == 2 && (fds[1].revents & POLLOUT))
            rc = mosquitto_loop_write(mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(mosq);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (error().empty() || session) fail("the connection to the broker was lost");
            broken = true;
        }
    }

    void goodbye() {
        if (mosq == nullptr || !session) return;
        goodbyeMid = publishRetained(stateTopic, stateJson("offline", "stopped"));
        const long long until = nowMs() + 1000;
        while (!broken && !goodbyeAcked && nowMs() < until) {
            if (mosquitto_want_write(mosq)) mosquitto_loop_write(mosq, 1);
            serve(50);
        }
        mosquitto_disconnect(mosq);
        if (mosquitto_want_write(mosq)) mosquitto_loop_write(mosq, 1);
    }

    void loop() {
        std::vector<ZelAcqRecord> taken;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m);
                while (!in.empty()) {
                    taken.push_back(std::move(in.front()));
                    in.pop_front();
                }
            }
            for (const ZelAcqRecord& r : taken) {
                take(r);
                if (static_cast<std::size_t>(batchSamples) >= o.batchSamples) flushBatch();
            }
            taken.clear();
            const bool ending = stopping.load();
            const long long now = nowMs();
            if (batchOpen && (ending || now - batchStartMs >= o.batchIntervalMs)) flushBatch();
            if (ending) {
                bool more;
                {
                    std::lock_guard<std::mutex> lock(m);
                    more = !in.empty();
                    if (!more && c.backlogBatches == 0 && inflight.empty()) emptied = true;
                }
                if (!more && (emptied || now >= drainUntilMs)) break;
            }
            if (mosq == nullptr && now >= nextAttemptMs) connect();
            if (mosq != nullptr && session && !broken) publishBacklog();
            if (broken) {
                dropConnection();
                continue;
            }
            long long wait = 1000;
            if (batchOpen) wait = std::min(wait, batchStartMs + o.batchIntervalMs - now);
            if (mosq == nullptr) wait = std::min(wait, nextAttemptMs - now);
            if (ending) wait = std::min<long long>(wait, 20);
            serve(static_cast<int>(std::max<long long>(wait, 0)));
            if (broken) dropConnection();
        }
        goodbye();
        if (mosq != nullptr) mosquitto_destroy(mosq);
        mosq = nullptr;
        std::lock_guard<std::mutex> lock(m);
        c.connected = false;
    }
};

ZelMqttPublisher::ZelMqttPublisher() : impl(std::make_unique<Impl>()) {}

ZelMqttPublisher::~ZelMqttPublisher() { stop(0); }

bool ZelMqttPublisher::start(const ZelMqttOptions& options,
                             const ZelRecordingContext& description) {
    if (impl->running) return false;
    std::call_once(libraryInit, [] { mosquitto_lib_init(); });
    impl = std::make_unique<Impl>();
    Impl& p = *impl;
    p.o = options;
    p.d = description;
    auto refuse = [&](const std::string& why) {
        p.err = why;
        p.closeFiles();
        return false;
    };
    if (p.o.qos < 0 || p.o.qos > 2) return refuse("qos must be 0, 1 or 2");
    if (p.o.batchSamples == 0) p.o.batchSamples = 1;
    if (p.o.inflight == 0) p.o.inflight = 1;
    if (p.o.clientId.empty()) p.o.clientId = "zelstation-" + p.o.station;
    const std::string base = p.o.topicPrefix + "/" + p.o.station + "/";
    p.samplesTopic = base + "samples";
    p.stateTopic = base + "state";
    p.modulesTopic = base + "module/";
    if (mosquitto_sub_topic_check(p.samplesTopic.c_str()) != MOSQ_ERR_SUCCESS ||
        p.o.station.find_first_of("/+#") != std::string::npos) {
        return refuse("'" + p.samplesTopic + "' is no topic to publish to");
    }
    p.run = zelIsoUtc(std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count());
    // The client's options are checked once here: a wrong TLS file is told
    // at the start, not at every reconnection.
    mosquitto* probe = mosquitto_new(p.o.clientId.c_str(), true, nullptr);
    if (probe == nullptr)
        return refuse("the MQTT client cannot be made (client id '" + p.o.clientId + "')");
    std::string why;
    const int rc = p.configure(probe, p.stateJson("offline", "connection lost"), why);
    mosquitto_destroy(probe);
    if (rc != MOSQ_ERR_SUCCESS) return refuse(why.empty() ? mosquitto_strerror(rc) : why);
    if (!p.openBacklog(why)) return refuse(why);
    if (::pipe2(p.wake, O_NONBLOCK | O_CLOEXEC) != 0)
        return refuse("no pipe for the publishing thread");
    p.running = true;
    p.worker = std::thread([&p] {
        zel::platform::nameCurrentThread("zel-mqtt");
        p.loop();
    });
    return true;
}

bool ZelMqttPublisher::push(const ZelAcqRecord& record) {
    Impl& p = *impl;
    {
        std::lock_guard<std::mutex> lock(p.m);
        if (!p.running || p.stopping.load()) return false;
        if (p.in.size() >= p.capacity) {
            ++p.c.refusedRecords;
            return false;
        }
        p.in.push_back(record);
    }
    const char one = 1;
    (void)!::write(p.wake[1], &one, 1);
    return true;
}

bool ZelMqttPublisher::stop(long drainMs) {
    Impl& p = *impl;
    if (!p.running) return p.emptied;
    {
        std::lock_guard<std::mutex> lock(p.m);
        p.drainUntilMs = nowMs() + std::max(drainMs, 0L);
    }
    p.stopping = true;
    const char one = 1;
    (void)!::write(p.wake[1], &one, 1);
    p.worker.join();
    p.running = false;
    p.closeFiles();
    return p.emptied;
}

bool ZelMqttPublisher::isRunning() const { return impl->running; }

ZelMqttCounters ZelMqttPublisher::counters() const {
    std::lock_guard<std::mutex> lock(impl->m);
    ZelMqttCounters c = impl->c;
    c.queued = impl->in.size();
    return c;
}

std::string ZelMqttPublisher::error() const { return impl->error(); }
