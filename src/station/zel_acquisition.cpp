// The acquisition engine: the sampling thread and its deadlines, the
// supervising thread that probes lost modules and restores rebooted ones,
// and the bounded queue between them and the consumer.
#include "station/zel_acquisition.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "chain/zel_chain_sampler.h"
#include "foundation/result_helpers.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "platform/thread.h"
#include "station/zel_acquisition_station.h"
#include "transport/zel_comm.h"

namespace net = zel::platform;

long long ZelAcquisitionClock::nowUs() const { return net::monotonicMicroseconds(); }

void ZelAcquisitionClock::sleepUntilUs(long long us) const { net::sleepUntilMicroseconds(us); }

long long ZelAcquisitionClock::utcUs() const { return net::utcMicroseconds(); }

const ZelAcquisitionClock& ZelAcquisitionClock::system() {
    static const ZelAcquisitionClock clock;
    return clock;
}

namespace {

constexpr char kStart[] = "ZelAcquisition::start";
// A sleep toward a far deadline wakes this often to see whether stop() came.
constexpr long long kStopCheckUs = 20000;
// A module answers within a millisecond, but a host that shares its
// processors can take tens of them to see the answer: a shorter default
// time-out would call healthy modules failing whenever the host is busy.
constexpr long kLeastAnswerTimeoutMs = 50;
// The receiving port is taken from this range: a module accepts 1024 to 49151.
constexpr unsigned kFirstAsyncPort = 40000;
constexpr unsigned kLastAsyncPort = 49151;

// The queue to the consumer: a ring of records made once at the start.
// Records change hands by swapping, and the module lists the consumer hands
// back wait as spares for the next samples, so once the first few samples
// have gone round, taking a sample allocates nothing. When the ring is full
// the record that has no room is counted; the next push that finds room for
// two first queues an OVERFLOW record saying how many were lost and from
// which, so the stream says it.
class RecordQueue {
  public:
    static constexpr std::size_t kBacklog = 64;
    static constexpr std::size_t kSpares = 64;

    void reset(std::size_t capacity) {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.clear();
        ring_.resize(capacity);
        spares_.clear();
        spares_.reserve(kSpares);
        backlog_.clear();
        backlog_.reserve(kBacklog);
        head_ = 0;
        size_ = 0;
        lost_ = 0;
        overflows_ = 0;
        highWater_ = 0;
    }
    // Queues the record's content; `record` gets a spare to fill next.
    void push(ZelAcqRecord& record) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pushLocked(record);
        }
        ready_.notify_one();
    }
    void push(ZelAcqRecord&& record) { push(record); }
    // The sampling thread's push: does not wait for the lock while the
    // backlog has room. While the consumer (or another thread) holds the
    // lock, records wait in the sampling thread's own backlog, in order, and
    // go into the ring first at the next push that gets it; so a consumer
    // that is descheduled while it holds the lock does not hold up the
    // sampling. Only with the backlog full does this push wait.
    void pushWithoutWaiting(ZelAcqRecord& record) {
        std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) {
            if (backlog_.size() < kBacklog) {
                backlog_.push_back(std::move(record));
                record = ZelAcqRecord();
                return;
            }
            lock.lock();
        }
        for (ZelAcqRecord& waiting : backlog_) pushLocked(waiting);
        backlog_.clear();
        pushLocked(record);
        lock.unlock();
        ready_.notify_one();
    }
    void pushWithoutWaiting(ZelAcqRecord&& record) { pushWithoutWaiting(record); }
    // Queues what waits in the backlog; once the sampling thread has ended.
    void flushBacklog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (ZelAcqRecord& waiting : backlog_) pushLocked(waiting);
            backlog_.clear();
        }
        ready_.notify_one();
    }
    // Swaps the oldest record into `out`; the module list `out` held before
    // becomes a spare.
    bool pop(ZelAcqRecord& out, long timeoutMs, const std::atomic<bool>& running) {
        std::unique_lock<std::mutex> lock(mutex_);
        auto some = [&] { return size_ > 0 || !running.load(); };
        if (timeoutMs < 0) {
            ready_.wait(lock, some);
        } else if (timeoutMs > 0) {
            ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), some);
        }
        if (size_ == 0) return false;
        ZelAcqRecord& oldest = ring_[head_];
        std::swap(out, oldest);
        if (oldest.modules.capacity() > 0 && spares_.size() < kSpares) {
            spares_.push_back(std::move(oldest.modules));
            oldest.modules = std::vector<ZelAcqModuleValues>();
        }
        head_ = (head_ + 1) % ring_.size();
        --size_;
        return true;
    }
    void wakeAll() {
        { std::lock_guard<std::mutex> lock(mutex_); }
        ready_.notify_all();
    }
    void fill(ZelAcqStatistics& s) const {
        std::lock_guard<std::mutex> lock(mutex_);
        s.overflows = overflows_;
        s.queued = size_;
        s.queueCapacity = ring_.size();
        s.queueHighWater = highWater_;
    }

  private:
    ZelAcqRecord& slot() { return ring_[(head_ + size_) % ring_.size()]; }

    // Under the lock.
    void pushLocked(ZelAcqRecord& record) {
        if (lost_ > 0) {
            if (size_ + 2 > ring_.size()) {
                ++lost_;
                ++overflows_;
                return;
            }
            ZelAcqRecord& overflow = slot();
            std::vector<ZelAcqModuleValues> kept = std::move(overflow.modules);
            overflow = ZelAcqRecord();
            kept.clear();
            overflow.modules = std::move(kept);
            overflow.kind = ZEL_ACQ_OVERFLOW;
            overflow.sequence = firstLost_;
            overflow.count = lost_;
            overflow.requestUs = record.requestUs;
            overflow.utcUs = record.utcUs;
            ++size_;
            lost_ = 0;
        }
        if (size_ >= ring_.size()) {
            if (lost_ == 0) firstLost_ = record.sequence;
            ++lost_;
            ++overflows_;
            return;
        }
        std::swap(slot(), record);
        ++size_;
        highWater_ = std::max(highWater_, size_);
        if (record.modules.capacity() == 0 && !spares_.empty()) {
            record.modules = std::move(spares_.back());
            spares_.pop_back();
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<ZelAcqRecord> ring_;
    std::vector<ZelAcqRecord> backlog_;  // the sampling thread's
    std::vector<std::vector<ZelAcqModuleValues>> spares_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    std::size_t highWater_ = 0;
    unsigned long long lost_ = 0;
    unsigned long long firstLost_ = 0;
    unsigned long long overflows_ = 0;
};

}  // namespace

struct ZelAcquisition::Impl {
    // One measuring module of the list.
    struct Module {
        ZelModule* object = nullptr;
        unsigned short position = 0;
        std::uint32_t address = 0;  // where its messages come from
        long savedTimeoutMs = 0;
        short savedRetries = 0;
        // Sampling thread only:
        int health = ZEL_ACQ_HEALTH_OK;
        unsigned failures = 0;
        int lastCode = 0;
        unsigned long long lostFrom = 0;  // first sample it was left out of
        // It answered again after failing, and the supervisor checks
        // whether it was restarted meanwhile (since checkFromUs).
        bool checking = false;
        long long checkFromUs = 0;
        // Under `mutex`, between the two threads:
        bool lost = false;    // the supervisor owns the object
        bool rejoin = false;  // the supervisor is done with it
        int returned = ZEL_ACQ_RETURN_NONE;
        long long nextProbeUs = 0;
        long long pauseMs = 0;
        // The supervisor's, while the module is lost:
        bool startingFirmware = false;  // a reset went to it in its bootloader
        bool stuckSaid = false;         // its failed start is in the stream
    };

    std::vector<Module> modules;
    std::unique_ptr<ZelChainSampler> sampler;
    std::vector<ZelModule*> objects;
    ZelAcquisitionOptions options;
    const ZelAcquisitionClock* clock = &ZelAcquisitionClock::system();
    long long periodUs = 0;  // rounded; deadlines use the exact period
    double exactPeriodUs = 0;
    long answerTimeoutMs = 0;

    RecordQueue queue;
    ZelAcqRecord scratch;  // the sampling thread's record to fill, reused
    std::atomic<bool> running{false};
    std::atomic<bool> stopping{false};
    std::thread sampling;
    std::thread supervising;
    std::mutex mutex;  // modules' shared part; the supervisor's wake-up
    std::condition_variable supervisorWake;

    std::intptr_t asyncSocket = net::kInvalidSocket;
    unsigned short port = 0;

    // Counted by the sampling thread; read by statistics().
    std::atomic<unsigned long long> samples{0};
    std::atomic<unsigned long long> missed{0};
    std::atomic<unsigned long long> moduleFailures{0};
    std::atomic<unsigned long long> asyncMessages{0};
    std::atomic<unsigned long long> losses{0};
    std::atomic<unsigned long long> returns{0};
    std::atomic<unsigned long long> restores{0};
    std::atomic<unsigned long long> firmwareStarts{0};
    std::atomic<long long> maxLatenessUs{0};
    std::atomic<bool> realtime{false};
    std::atomic<unsigned> rejoinsWaiting{0};  // modules marked to rejoin

    long long deadline(long long startUs, unsigned long long k) const {
        return startUs +
               static_cast<long long>(std::llround(static_cast<double>(k) * exactPeriodUs));
    }
    ZelAcqRecord event(int kind, unsigned long long sequence, unsigned short position) const {
        ZelAcqRecord r;
        r.kind = kind;
        r.sequence = sequence;
        r.position = position;
        r.requestUs = clock->nowUs();
        r.utcUs = clock->utcUs();
        return r;
    }
    // Whether the module is in the samples (else the supervisor has it).
    static bool sampled(const Module& m) { return m.health != ZEL_ACQ_HEALTH_LOST && !m.checking; }
    void health(Module& m, int to, unsigned long long sequence,
                int returned = ZEL_ACQ_RETURN_NONE) {
        ZelAcqRecord r = event(ZEL_ACQ_HEALTH, sequence, m.position);
        r.previous = m.health;
        r.health = to;
        r.code = m.lastCode;
        r.returned = returned;
        m.health = to;
        queue.pushWithoutWaiting(std::move(r));
    }

    bool openAsyncSocket();
    ZelResults prepare();
    void sampleLoop();
    void reselect();
    void takeSample(unsigned long long k, long long deadlineUs);
    void drainAsync(unsigned long long k);
    void rejoin(unsigned long long k);
    // Hands a module to the supervisor: left out of the samples from the
    // next one, probed after `firstProbeMs`.
    void leaveToSupervisor(Module& m, unsigned long long k, long firstProbeMs);
    void superviseLoop();
    void probe(Module& m);
    // A module in its bootloader whose firmware would not start: one HEALTH
    // record (lost, still lost) with the code, until it rejoins.
    void sayStuck(Module& m, int code);
};

bool ZelAcquisition::Impl::openAsyncSocket() {
    // A port in the range a module accepts, spread by the process id so
    // that engines of parallel processes seldom try the same ones first.
    const unsigned span = kLastAsyncPort - kFirstAsyncPort + 1;
    const unsigned offset = static_cast<unsigned>(net::monotonicMicroseconds() % span);
    for (unsigned i = 0; i < 200; ++i) {
        const std::intptr_t s = net::openUdpSocket();
        if (s == net::kInvalidSocket) return false;
        const unsigned p = kFirstAsyncPort + (offset + i * 7919) % span;
        if (net::bindSocket(s, 0, static_cast<std::uint16_t>(p))) {
            asyncSocket = s;
            port = static_cast<unsigned short>(p);
            return true;
        }
        net::closeSocket(s);
    }
    return false;
}

ZelResults ZelAcquisition::Impl::prepare() {
    for (Module& m : modules) {
        m.address = net::parseAddress(m.object->getModuleData().ipAddress);
        m.savedTimeoutMs = m.object->getUdpTimeout();
        m.savedRetries = m.object->getUdpNumRetries();
        // The engine's port marks the module as the engine left it: a module
        // forgets it when restarted.
        ZelResults r = m.object->setAsyncPort(&port);
        if (r.code() == ZEL_OK && options.asyncMessages) r = m.object->setAsyncMode(true);
        if (r.code() != ZEL_OK) return r;
        m.object->setUdpTimeout(answerTimeoutMs);
        m.object->setUdpNumRetries(0);
    }
    return ZelResults();
}

void ZelAcquisition::Impl::reselect() {
    std::vector<unsigned short> positions;
    for (const Module& m : modules) {
        if (sampled(m)) positions.push_back(m.position);
    }
    if (!positions.empty()) {
        // The positions are the sampler's own, so none is refused.
        (void)sampler->selectPositions(positions.data(),
                                       static_cast<unsigned short>(positions.size()));
    }
}

void ZelAcquisition::Impl::sampleLoop() {
    net::nameCurrentThread("zel-acquire");
    net::tightenTimerSlack();
    realtime =
        options.realtimePriority > 0 && net::raiseCurrentThreadToRealtime(options.realtimePriority);
    const long long wakeEarlyUs = std::min<long long>(options.wakeEarlyUs, periodUs);
    const long long startUs = clock->nowUs();
    unsigned long long k = 0;
    while (!stopping.load()) {
        const long long due = deadline(startUs, k);
        const long long wake = due - wakeEarlyUs;
        for (long long now = clock->nowUs(); now < wake && !stopping.load(); now = clock->nowUs()) {
            clock->sleepUntilUs(std::min(wake, now + kStopCheckUs));
        }
        // The last stretch awake: a wake-up from sleep comes tens of
        // microseconds after its time, a look at the clock within one. (A
        // clock a host gave moves only when slept on.)
        if (wakeEarlyUs > 0 && clock == &ZelAcquisitionClock::system()) {
            while (net::monotonicMicroseconds() < due && !stopping.load()) {
            }
        } else if (wakeEarlyUs > 0 && clock->nowUs() < due) {
            clock->sleepUntilUs(due);
        }
        if (stopping.load()) break;
        rejoin(k);
        drainAsync(k);
        takeSample(k, due);
        // The next deadline is the latest one that has passed, or the next
        // to come: those before it are missed, and said, never caught up.
        const long long now = clock->nowUs();
        unsigned long long next = k + 1;
        if (now >= deadline(startUs, next + 1)) {
            unsigned long long passed =
                static_cast<unsigned long long>(static_cast<double>(now - startUs) / exactPeriodUs);
            while (passed > next && deadline(startUs, passed) > now) --passed;
            if (passed > next) {
                ZelAcqRecord r = event(ZEL_ACQ_MISSED, next, 0);
                r.count = passed - next;
                r.deadlineUs = deadline(startUs, next);
                missed += r.count;
                queue.pushWithoutWaiting(std::move(r));
                next = passed;
            }
        }
        k = next;
    }
}

void ZelAcquisition::Impl::takeSample(unsigned long long k, long long deadlineUs) {
    // The scratch record holds what a slot of the queue held before: every
    // field is set anew, the module list keeps its room.
    ZelAcqRecord& r = scratch;
    std::vector<ZelAcqModuleValues> list = std::move(r.modules);
    r = ZelAcqRecord();
    list.assign(modules.size(), ZelAcqModuleValues());
    r.modules = std::move(list);
    r.kind = ZEL_ACQ_SAMPLE;
    r.sequence = k;
    r.deadlineUs = deadlineUs;
    bool anySampled = false;
    for (const Module& m : modules) anySampled = anySampled || sampled(m);
    r.utcUs = clock->utcUs();
    r.requestUs = clock->nowUs();
    // Each module's outcome is its record's, read below.
    if (anySampled) (void)sampler->sample();
    r.answerUs = clock->nowUs();
    const long long late = r.requestUs - deadlineUs;
    if (late > maxLatenessUs.load()) maxLatenessUs = late;
    // The sampler's records are in selection order, which is list order.
    unsigned short record = 0;
    bool changed = false;
    for (std::size_t i = 0; i < modules.size(); ++i) {
        Module& m = modules[i];
        ZelAcqModuleValues& v = r.modules[i];
        v.position = m.position;
        v.health = m.health;
        if (!sampled(m)) {
            v.code = m.lastCode;
            continue;
        }
        const ZelChainSample& s = sampler->at(record++);
        v.code = s.result.code();
        v.sentUs = s.sentUs;
        v.receivedUs = s.receivedUs;
        if (v.code == ZEL_OK) {
            v.numValues = s.numValues;
            std::copy(s.values, s.values + 8, v.values);
            m.failures = 0;
            continue;
        }
        ++moduleFailures;
        ++m.failures;
        m.lastCode = v.code;
    }
    ++samples;
    queue.pushWithoutWaiting(r);
    // Health follows the sample it was seen in.
    for (Module& m : modules) {
        if (m.health == ZEL_ACQ_HEALTH_LOST) continue;
        if (m.checking) {
            // A check that takes as long as the failed samples that make a
            // module lost: it is lost (the supervisor goes on probing).
            const long long limitUs =
                static_cast<long long>(options.failuresToLost) * answerTimeoutMs * 1000LL;
            if (clock->nowUs() - m.checkFromUs >= limitUs) {
                m.checking = false;
                health(m, ZEL_ACQ_HEALTH_LOST, k);
                ++losses;
            }
            continue;
        }
        if (m.failures == 0) {
            if (m.health == ZEL_ACQ_HEALTH_FAILING) {
                // It answers again after failing: a restart shorter than the
                // failed samples that make a module lost looks just so. The
                // supervisor tells a restart from a cut link as for a lost
                // module, and puts back the settings a restart lost, before
                // it rejoins the samples.
                m.checking = true;
                m.checkFromUs = clock->nowUs();
                leaveToSupervisor(m, k, 0);
                changed = true;
            } else if (m.health != ZEL_ACQ_HEALTH_OK) {
                health(m, ZEL_ACQ_HEALTH_OK, k);
            }
            continue;
        }
        if (m.health == ZEL_ACQ_HEALTH_OK) health(m, ZEL_ACQ_HEALTH_FAILING, k);
        if (m.failures >= options.failuresToLost) {
            health(m, ZEL_ACQ_HEALTH_LOST, k);
            ++losses;
            leaveToSupervisor(m, k, options.probeFirstMs);
            changed = true;
        }
    }
    if (changed) {
        reselect();
        supervisorWake.notify_one();
    }
}

void ZelAcquisition::Impl::leaveToSupervisor(Module& m, unsigned long long k, long firstProbeMs) {
    m.lostFrom = k + 1;
    m.object->setUdpTimeout(options.probeTimeoutMs);
    std::lock_guard<std::mutex> lock(mutex);
    m.lost = true;
    m.rejoin = false;
    m.startingFirmware = false;
    m.stuckSaid = false;
    m.pauseMs = options.probeFirstMs;
    m.nextProbeUs = clock->nowUs() + firstProbeMs * 1000LL;
}

void ZelAcquisition::Impl::rejoin(unsigned long long k) {
    // Looked at without the lock each sample; locked only when one waits.
    if (rejoinsWaiting.load() == 0) return;
    bool changed = false;
    for (Module& m : modules) {
        int returned = ZEL_ACQ_RETURN_NONE;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!m.lost || !m.rejoin) continue;
            m.lost = false;
            m.rejoin = false;
            --rejoinsWaiting;
            returned = m.returned;
        }
        m.object->setUdpTimeout(answerTimeoutMs);
        m.object->setUdpNumRetries(0);
        // A module checked after failing was never lost: it left out only
        // the samples of its check, if any.
        const bool checked = m.checking;
        m.checking = false;
        if (!checked || k > m.lostFrom) {
            ZelAcqRecord gap = event(ZEL_ACQ_GAP, m.lostFrom, m.position);
            gap.count = k - m.lostFrom;
            gap.returned = returned;
            queue.pushWithoutWaiting(std::move(gap));
        }
        m.failures = 0;
        m.lastCode = 0;
        health(m, ZEL_ACQ_HEALTH_OK, k, returned);
        if (!checked) ++returns;
        changed = true;
    }
    if (changed) reselect();
}

void ZelAcquisition::Impl::drainAsync(unsigned long long k) {
    if (asyncSocket == net::kInvalidSocket) return;
    char buffer[512];
    while (net::waitReadable(asyncSocket, 0, 0) == net::Readiness::Ready) {
        net::Peer from;
        const long length = net::receiveFrom(asyncSocket, buffer, sizeof(buffer), &from);
        if (length < 5) continue;  // neither message is shorter
        ZelAcqRecord r = event(ZEL_ACQ_ASYNC, k, 0);
        r.messageType = ZelComm::getAsyncMsgType(buffer);
        // The sender's address names the module.
        bool known = false;
        for (const Module& m : modules) {
            if (m.address == from.address) {
                r.position = m.position;
                known = true;
            }
        }
        if (!known) continue;
        if (r.messageType == 22 && length >= 8) {
            (void)ZelComm::decodeLatchMsg(buffer, r.latch);  // the type is checked above
        } else if (r.messageType == 33) {
            (void)ZelComm::decodeChannelStatusMsg(buffer, &r.channel, &r.status);  // so is this
        } else {
            continue;
        }
        ++asyncMessages;
        queue.pushWithoutWaiting(std::move(r));
    }
}

void ZelAcquisition::Impl::superviseLoop() {
    net::nameCurrentThread("zel-supervise");
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping.load()) {
        long long wakeUs = -1;
        Module* due = nullptr;
        const long long now = clock->nowUs();
        for (Module& m : modules) {
            if (!m.lost || m.rejoin) continue;
            if (m.nextProbeUs <= now) {
                due = &m;
                break;
            }
            wakeUs = wakeUs < 0 ? m.nextProbeUs : std::min(wakeUs, m.nextProbeUs);
        }
        if (due != nullptr) {
            // The exchange runs unlocked; the sampling thread leaves a lost
            // module alone until it is marked to rejoin.
            lock.unlock();
            probe(*due);
            lock.lock();
            continue;
        }
        if (wakeUs < 0) {
            supervisorWake.wait(lock);
        } else {
            supervisorWake.wait_for(lock, std::chrono::microseconds(wakeUs - now));
        }
    }
}

void ZelAcquisition::Impl::sayStuck(Module& m, int code) {
    if (m.stuckSaid) return;
    m.stuckSaid = true;
    ZelAcqRecord r = event(ZEL_ACQ_HEALTH, 0, m.position);
    r.previous = ZEL_ACQ_HEALTH_LOST;
    r.health = ZEL_ACQ_HEALTH_LOST;
    r.returned = ZEL_ACQ_RETURN_BOOTLOADER;
    r.code = code;
    queue.push(std::move(r));
}

void ZelAcquisition::Impl::probe(Module& m) {
    MODULE_ID id{};
    unsigned long number = 0;
    unsigned char typeByte = 0;
    unsigned short channels = 0;
    ZelResults r = m.object->getModuleType(&id, &number, &typeByte, &channels);
    int returned = ZEL_ACQ_RETURN_NONE;
    if (r.code() == ZEL_OK && ZelModule::isBootloaderModule(id)) {
        returned = ZEL_ACQ_RETURN_BOOTLOADER;
        // Still in its bootloader after a reset: its firmware did not start.
        if (m.startingFirmware) sayStuck(m, ZEL_FIRMWARE_NOT_LOADED);
        // A reset takes a module out of its bootloader and starts its
        // firmware; a later probe tells whether it runs (then it counts as
        // rebooted, its settings lost).
        const ZelResults s = m.object->resetZelbus();
        ++firmwareStarts;
        m.startingFirmware = true;
        if (s.code() != ZEL_OK) sayStuck(m, s.code());
    } else if (r.code() == ZEL_OK) {
        unsigned short kept = 0;
        r = m.object->getAsyncPort(&kept);
        if (r.code() == ZEL_OK) {
            returned = kept == port ? ZEL_ACQ_RETURN_INTACT : ZEL_ACQ_RETURN_REBOOTED;
        }
    }
    // A module whose firmware the engine started says so in its records.
    const int said = returned == ZEL_ACQ_RETURN_REBOOTED && m.startingFirmware
                         ? ZEL_ACQ_RETURN_BOOTLOADER
                         : returned;
    if (returned == ZEL_ACQ_RETURN_REBOOTED) {
        ZelAcqRecord restored = event(ZEL_ACQ_RESTORED, 0, m.position);
        ZelResults s = m.object->setAsyncPort(&port);
        if (s.code() == ZEL_OK && options.asyncMessages) s = m.object->setAsyncMode(true);
        if (s.code() == ZEL_OK && options.restorer != nullptr) {
            s = options.restorer->restore(m.position, *m.object);
        }
        restored.code = s.code();
        restored.returned = said;
        restored.answerUs = clock->nowUs();
        queue.push(std::move(restored));
        if (s.code() == ZEL_OK) {
            ++restores;
        } else {
            returned = ZEL_ACQ_RETURN_NONE;  // tried again after the next pause
        }
        // The restorer may have used its own exchange settings.
        m.object->setUdpTimeout(options.probeTimeoutMs);
        m.object->setUdpNumRetries(0);
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (returned == ZEL_ACQ_RETURN_INTACT || returned == ZEL_ACQ_RETURN_REBOOTED) {
        m.returned = said;
        m.startingFirmware = false;
        m.stuckSaid = false;
        m.rejoin = true;
        ++rejoinsWaiting;
        return;
    }
    // Silent, in its bootloader, or not restored: ask again later, each
    // pause twice the last, up to the bound.
    m.nextProbeUs = clock->nowUs() + m.pauseMs * 1000LL;
    m.pauseMs = std::min<long long>(m.pauseMs * 2, options.probeMaxMs);
}

ZelAcquisition::ZelAcquisition(ZelModule* const* modules, unsigned short count)
    : impl(std::make_unique<Impl>()) {
    impl->sampler = std::make_unique<ZelChainSampler>(modules, count);
    for (unsigned short i = 0; i < impl->sampler->size(); ++i) {
        Impl::Module m;
        m.object = impl->sampler->at(i).module;
        m.position = impl->sampler->at(i).position;
        impl->modules.push_back(m);
    }
}

ZelAcquisition::~ZelAcquisition() {
    stop();
    if (impl->asyncSocket != net::kInvalidSocket) net::closeSocket(impl->asyncSocket);
}

ZelResults ZelAcquisition::start(const ZelAcquisitionOptions& options) {
    Impl& d = *impl;
    if (d.running.load()) return ZEL_RESULT(ZEL_MODULE_CREATED_TWICE, kStart);
    if (!(options.rateHz >= 0.01 && options.rateHz <= 100000.0) || options.queueCapacity < 4 ||
        options.failuresToLost < 1 || options.probeFirstMs < 1 ||
        options.probeMaxMs < options.probeFirstMs || options.probeTimeoutMs < 1 ||
        options.answerTimeoutMs < 0 || options.wakeEarlyUs < 0 || options.realtimePriority < 0 ||
        options.realtimePriority > 99 || d.modules.empty()) {
        return ZEL_RESULT(ZEL_OUT_OF_RANGE, kStart);
    }
    d.options = options;
    d.clock = options.clock != nullptr ? options.clock : &ZelAcquisitionClock::system();
    d.exactPeriodUs = 1e6 / options.rateHz;
    d.periodUs = static_cast<long long>(std::llround(d.exactPeriodUs));
    d.answerTimeoutMs =
        options.answerTimeoutMs > 0
            ? options.answerTimeoutMs
            : std::clamp<long>(static_cast<long>(d.periodUs / 1000), kLeastAnswerTimeoutMs, 1000);
    if (d.asyncSocket == net::kInvalidSocket && !d.openAsyncSocket()) {
        return ZEL_RESULT(ZEL_UDP_BIND_FAILED, kStart);
    }
    for (Impl::Module& m : d.modules) {
        m.health = ZEL_ACQ_HEALTH_OK;
        m.failures = 0;
        m.lastCode = 0;
        m.checking = false;
        m.lost = false;
        m.rejoin = false;
    }
    d.rejoinsWaiting = 0;
    ZelResults r = d.prepare();
    if (r.code() != ZEL_OK) {
        for (Impl::Module& m : d.modules) {
            m.object->setUdpTimeout(m.savedTimeoutMs);
            m.object->setUdpNumRetries(m.savedRetries);
        }
        return r;
    }
    d.reselect();
    d.queue.reset(options.queueCapacity);
    d.samples = 0;
    d.missed = 0;
    d.moduleFailures = 0;
    d.asyncMessages = 0;
    d.losses = 0;
    d.returns = 0;
    d.restores = 0;
    d.firmwareStarts = 0;
    d.maxLatenessUs = 0;
    d.realtime = false;
    d.stopping = false;
    d.running = true;
    d.sampling = std::thread([&d] { d.sampleLoop(); });
    d.supervising = std::thread([&d] { d.superviseLoop(); });
    return ZelResults();
}

void ZelAcquisition::stop() {
    Impl& d = *impl;
    if (!d.running.load()) return;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.stopping = true;
    }
    d.supervisorWake.notify_all();
    d.sampling.join();
    d.supervising.join();
    d.queue.flushBacklog();
    for (Impl::Module& m : d.modules) {
        if (m.object == nullptr) continue;
        m.object->setUdpTimeout(m.savedTimeoutMs);
        m.object->setUdpNumRetries(m.savedRetries);
    }
    d.running = false;
    d.queue.wakeAll();
}

bool ZelAcquisition::isRunning() const { return impl->running.load(); }

bool ZelAcquisition::next(ZelAcqRecord& record, long timeoutMs) {
    return impl->queue.pop(record, timeoutMs, impl->running);
}

unsigned short ZelAcquisition::asyncPort() const { return impl->port; }

ZelAcqStatistics ZelAcquisition::statistics() const {
    const Impl& d = *impl;
    ZelAcqStatistics s;
    s.samples = d.samples.load();
    s.missedDeadlines = d.missed.load();
    s.moduleFailures = d.moduleFailures.load();
    s.asyncMessages = d.asyncMessages.load();
    s.losses = d.losses.load();
    s.returns = d.returns.load();
    s.restores = d.restores.load();
    s.firmwareStarts = d.firmwareStarts.load();
    s.maxLatenessUs = d.maxLatenessUs.load();
    s.realtime = d.realtime.load();
    d.queue.fill(s);
    const net::WallClockState wall = net::wallClockState();
    s.wallClockSynchronised = wall.synchronised;
    s.wallClockMaxErrorUs = wall.maxErrorUs;
    return s;
}

// ---- over a station ----------------------------------------------------------

ZelResults ZelStationRestorer::restore(unsigned short position, ZelModule& /*module*/) {
    const ZelStationStatus s = station_.reapplySettings(position);
    if (s.ok()) return ZelResults();
    if (s.lower.code() != ZEL_OK) return s.lower;
    return ZEL_RESULT(ZEL_UNKNOWN_ERROR, "ZelStationRestorer::restore");
}
