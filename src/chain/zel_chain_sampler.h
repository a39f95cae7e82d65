/// @file
/// ZelChainSampler: one snapshot of many measuring modules in about one
/// round trip. sample() sends the counts request (command 1) to every
/// selected module back to back, then waits on all their sockets together
/// and takes each answer as it arrives; only modules whose answer is missing
/// are asked again, each within its own time-out and retries. Each module's
/// answer is then decoded by the module object itself, with its own channel
/// settings and unit, exactly as its getPositions (or, for analog modules,
/// getScaledValues) would, so a snapshot and per-module reads agree value
/// for value.
///
/// The answers are paired with the requests by each module's own pairing,
/// the one its single exchanges use (transport/answer_pairing.h): only the
/// module's address and port, and each sample's request sent from the other
/// port than the module's call before, a port that may still receive an
/// earlier answer made anew first; so a late or duplicated answer of an
/// earlier sample is never the answer of this one.
///
/// No thread, and no allocation per sample after the first: the records are
/// made when the selection is. One thread at a time uses the sampler and the
/// module objects it samples.
#ifndef ZEL_ZEL_CHAIN_SAMPLER_H
#define ZEL_ZEL_CHAIN_SAMPLER_H

/// @addtogroup chain
/// @{

#include <cstdint>
#include <memory>
#include <vector>

#include "chain/zel_interface.h"
#include "foundation/zel_export.h"
#include "modules/zel_module.h"
#include "transport/zelbus_frame.h"

/// One module's part of a sample.
struct ZelChainSample {
    ZelModule* module = nullptr;  ///< the module object sampled
    unsigned short position = 0;  ///< in the chain, or in the list the sampler was given
    ZelResults result;            ///< this module's outcome; the others' do not depend on it
    /// The raw counts of the answer (Kalix: the low 32 bits of each value;
    /// LVDT: the signed readings, as unsigned long), and for Kalix modules the
    /// revolution of each channel.
    unsigned long counts[8] = {};
    long revolutions[8] = {};      ///< Kalix: the revolution of each channel
    unsigned short numCounts = 0;  ///< valid entries of counts
    /// Positions in each channel's unit (Kalix, 1 Vpp, TTL, LVDT), or the
    /// calibrated voltage and current of both channels (analog: voltage 0,
    /// current 0, voltage 1, current 1).
    double values[8] = {};
    unsigned short numValues = 0;  ///< valid entries of values
    /// Host time stamps in monotonic microseconds: the request that got the
    /// answer was sent, and the answer came (0 when none came).
    long long sentUs = 0;
    long long receivedUs = 0;     ///< see sentUs
    unsigned short attempts = 0;  ///< requests sent in this sample
};

namespace zel::platform {
class WaitSet;
}

/// One snapshot of many measuring modules; see the file's description.
class ZEL_API ZelChainSampler {
  public:
    /// Every measuring module (Kalix, 1 Vpp, TTL, LVDT, analog) of an ordered
    /// chain; positions are chain positions. The chain must outlive the
    /// sampler and keep its modules.
    explicit ZelChainSampler(ZelInterface& chain);
    /// The modules of a list a host holds; positions are list indices. Null
    /// entries and modules of no measuring kind are left out.
    ZelChainSampler(ZelModule* const* modules, unsigned short count);
    ~ZelChainSampler();
    ZelChainSampler(const ZelChainSampler&) = delete;
    ZelChainSampler& operator=(const ZelChainSampler&) = delete;

    /// Narrows the selection to the measuring modules at these positions, or
    /// to those whose identity satisfies `kind` (ZelModule::isTtlModule, ...).
    /// Code 33 when a position names no measuring module; the selection is
    /// then unchanged.
    ZelResults selectPositions(const unsigned short* positions, unsigned short count);
    /// See selectPositions; a null predicate selects every measuring module.
    void selectKinds(bool (*kind)(const MODULE_ID& id));

    /// One snapshot of the selected modules. Code 0 when every module
    /// answered and its answer decoded; otherwise the result of the first
    /// module (in selection order) that failed. Each record holds its own
    /// module's result.
    ZelResults sample(COUNT_REQUEST_OPTION option = COUNT_REQUEST_NORMAL);

    /// How long sample() keeps looking at the sockets without sleeping once
    /// its requests are out, before it sleeps on them. A host that can spare
    /// a core for the time of a sample saves the wake-up of its thread for
    /// the answers that come meanwhile. 0, the default: it sleeps at once;
    /// a negative value counts as 0. The time-outs and retries are the same
    /// either way.
    void setSpinWait(long microseconds) { spinWaitUs = microseconds > 0 ? microseconds : 0; }
    /// See setSpinWait.
    long getSpinWait() const { return spinWaitUs; }

    /// Records of the selection.
    unsigned short size() const { return static_cast<unsigned short>(records.size()); }
    /// Record i of the last sample, in selection order (i < size()).
    const ZelChainSample& at(unsigned short i) const { return records[i]; }
    /// Records of the last sample whose result is not code 0.
    unsigned short failures() const;

  private:
    /// A selected module while a sample runs.
    struct Slot {
        ZelModule* module = nullptr;
        bool done = false;
        short retriesLeft = 0;
        long long deadlineUs = 0;
        int length = 0;
        ZelbusResponse answer{};
    };
    ZEL_INTERNAL void prepare();
    ZEL_INTERNAL void collect(std::vector<ZelModule*> modules,
                              const std::vector<unsigned short>& positions);
    ZEL_INTERNAL void registerSockets();
    ZEL_INTERNAL bool send(std::size_t i, COUNT_REQUEST_OPTION option, long long nowUs, bool retry);
    ZEL_INTERNAL long long lookOver(COUNT_REQUEST_OPTION option, long long now,
                                    std::size_t* remaining);
    ZEL_INTERNAL bool takeAnswer(std::size_t tag);
    ZEL_INTERNAL void decode(std::size_t i, COUNT_REQUEST_OPTION option);

    std::vector<ZelModule*> all;  ///< every measuring module offered
    std::vector<unsigned short> allPositions;
    std::vector<ZelChainSample> records;  ///< the selection, in order
    std::vector<Slot> inFlight;
    std::vector<std::size_t> readyTags;
    std::unique_ptr<zel::platform::WaitSet> waitSet;
    /// The socket each port of each slot's module had when registered (two per slot).
    std::vector<std::intptr_t> registered;
    std::vector<unsigned long> registeredGeneration;
    long spinWaitUs = 0;
};

/// @}

#endif  // ZEL_ZEL_CHAIN_SAMPLER_H
