/// @file
/// ZelStationView: what a running station looks like to the people who
/// watch it, kept up to date from the acquisition's stream. The service
/// hands every record it takes from the engine to onRecord() and the
/// engine's counts to onStatistics(); the web server (and anything else)
/// reads from any thread.
///
/// It holds the chain as the configuration file describes it (physical
/// order, kind, label, address, serial number, each channel's label and
/// unit), each module's health as the supervision last told it, a bounded
/// ring of the recent records (samples and events, numbered as they came),
/// and the counts the metrics page shows: per module the round trips of its
/// answers as a histogram, its time-outs and failures, and its object's
/// retries and discarded datagrams; for the station the samples, gaps,
/// missed deadlines, overflows, restorations, queue depth and the state of
/// the broker the service publishes to.
///
/// Every member function is safe from any thread; each holds one lock only
/// while it copies.
#ifndef ZEL_STATION_ZEL_STATION_VIEW_H
#define ZEL_STATION_ZEL_STATION_VIEW_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "modules/zel_module.h"
#include "station/zel_acquisition_records.h"
#include "station/zel_station.h"

/// One value of a module's samples, in the order the values come (an
/// analog channel gives two: volts, then milliamperes).
struct ZelViewChannel {
    std::string label;      ///< the file's ChannelLabel (may be empty)
    std::string unit;       ///< "mm", "in", "deg", "counts", "um", "V" or "mA"
    bool populated = true;  ///< false: the file marks the channel absent
};

/// One module of the chain, in physical order.
struct ZelViewModule {
    unsigned short position = 0;  ///< the file's module number minus 1
    std::string kind;             ///< the kind as tools name it: "TTL encoder", "LVDT", ...
    std::string model;            ///< the file's Model
    std::string label;
    std::string address;
    std::string serialNumber;
    std::string firmwareVersion;
    bool sampled = false;  ///< a measuring module that was found: it has samples
    bool found = true;     ///< false: missing when the station opened
    std::vector<ZelViewChannel> channels;
    /// The module object (null: none); the view reads its exchange counts.
    ZelModule* module = nullptr;
};

/// What the service's broker connection reports; the service sets it
/// whenever it changes.
struct ZelBrokerState {
    bool configured = false;           ///< a broker is set up at all
    bool connected = false;            ///< connected now
    unsigned long long backlog = 0;    ///< samples waiting to be delivered
    unsigned long long delivered = 0;  ///< samples the broker acknowledged
    unsigned long long dropped = 0;    ///< samples a full backlog had to let go
    unsigned long long connects = 0;   ///< connections made (1 plus reconnections)
};

/// One record of the ring with the number the view gave it (1, 2, 3, ...).
struct ZelViewRecord {
    unsigned long long number = 0;
    ZelAcqRecord record;
};

/// A module's counts and state for the metrics.
struct ZelViewModuleCounts {
    int health = -1;  ///< ZEL_ACQ_HEALTH value; -1: not sampled
    int lastCode = 0;
    /// Round trips (answer received minus request sent) per bucket of
    /// ZelStationView::roundTripBoundsUs(), the last bucket everything above.
    std::vector<unsigned long long> roundTripBuckets;
    unsigned long long roundTripCount = 0;
    long long roundTripSumUs = 0;
    unsigned long long timeouts = 0;  ///< sample entries with code 1
    unsigned long long failures = 0;  ///< sample entries with any other code than 0
    unsigned long long gaps = 0;      ///< returns after being lost
    unsigned long long gapSamples = 0;
    unsigned long long restorations = 0;     ///< settings restored after a reboot
    unsigned long long restoreFailures = 0;  ///< restorations that did not read back
    unsigned long long retries = 0;          ///< attempts its object sent again
    unsigned long long strays = 0;           ///< datagrams discarded: none was waited for
    unsigned long long foreign = 0;          ///< datagrams discarded: another sender
};

/// The station's counts for the metrics.
struct ZelViewCounts {
    std::vector<ZelViewModuleCounts> modules;  ///< by position
    unsigned long long records = 0;            ///< records handed to the view
    unsigned long long samples = 0;
    unsigned long long gaps = 0;
    unsigned long long missedDeadlines = 0;
    unsigned long long overflows = 0;
    unsigned long long restorations = 0;
    ZelAcqStatistics statistics;  ///< the engine's, as last handed on
    bool brokerSet = false;       ///< setBroker() was called
    ZelBrokerState broker;
    double rateHz = 0.0;
};

/// A running station's state; see the file's description.
class ZelStationView {
  public:
    /// `ringCapacity` records are kept (0: a minute at `rateHz`, at least
    /// 64 and at most kMaxRing).
    explicit ZelStationView(double rateHz = 100.0, std::size_t ringCapacity = 0);
    static constexpr std::size_t kMaxRing = 60000;

    /// The chain, in physical order (replaces the one before).
    void setChain(const std::vector<ZelViewModule>& list);
    /// The chain of an open station as its file describes it, with each
    /// channel's label and unit as a reading of the station gives them.
    /// Takes one snapshot: call it before the acquisition starts (the engine
    /// owns the module objects while it runs).
    static std::vector<ZelViewModule> describe(ZelStation& station);

    /// Takes one record of the acquisition's stream.
    void onRecord(const ZelAcqRecord& record);
    /// Takes the engine's counts.
    void onStatistics(const ZelAcqStatistics& statistics);
    /// Takes the broker connection's state.
    void setBroker(const ZelBrokerState& broker);

    /// The chain as set.
    std::vector<ZelViewModule> chain() const;
    /// Each module's health by position (-1: not sampled), and the newest
    /// sample (kind SAMPLE; false when none came yet).
    std::vector<int> health() const;
    bool latest(ZelAcqRecord& sample) const;
    /// Records numbered above `after`, oldest first, at most `limit`; the
    /// number of the newest record held into *newest, and whether records
    /// above `after` had already left the ring into *lost.
    std::vector<ZelViewRecord> since(unsigned long long after, std::size_t limit,
                                     unsigned long long* newest, bool* lost) const;
    /// Waits up to `timeoutMs` for a record numbered above `after`; the
    /// newest number.
    unsigned long long waitAfter(unsigned long long after, long timeoutMs) const;
    /// The counts, with each module object's exchange counts read now.
    ZelViewCounts counts() const;
    double rateHz() const { return rate; }
    std::size_t ringCapacity() const { return capacity; }

    /// Upper bounds of the round-trip histogram's buckets, in microseconds.
    static const std::vector<long long>& roundTripBoundsUs();

  private:
    ZelViewModuleCounts& moduleAt(unsigned short position);

    mutable std::mutex lock;
    mutable std::condition_variable arrived;
    double rate;
    std::size_t capacity;
    std::vector<ZelViewModule> modules;
    std::deque<ZelViewRecord> ring;
    unsigned long long numbered = 0;
    bool haveLatest = false;
    ZelAcqRecord newestSample;
    ZelViewCounts tally;
};

#endif  // ZEL_STATION_ZEL_STATION_VIEW_H
