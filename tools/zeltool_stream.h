// zeltool: the printing of an acquisition's records, shared by acquire (as
// the engine gives them) and recording export (as a recording holds them),
// so both print the same samples the same way.
#ifndef ZEL_TOOLS_ZELTOOL_STREAM_H
#define ZEL_TOOLS_ZELTOOL_STREAM_H

#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "station/zel_acquisition_records.h"
#include "zeltool.h"

namespace zeltool {

// Prints each record as text, CSV or JSON lines on standard output, and the
// statistics of every channel at the end.
class StreamPrinter {
  public:
    // `channelCounts`: how many values each module gives a sample, by
    // position (the CSV header's columns).
    StreamPrinter(const Options& options, std::vector<unsigned short> channelCounts)
        : options(options), channelCounts(std::move(channelCounts)) {}
    void record(const ZelAcqRecord& r);
    void statistics(const ZelAcqStatistics& s);
    unsigned long long samplesPrinted() const { return samples; }

  private:
    // Count, extremes and sum of one channel's values.
    struct ChannelStats {
        unsigned long long count = 0;
        double min = std::numeric_limits<double>::infinity();
        double max = -std::numeric_limits<double>::infinity();
        double sum = 0.0;
        void add(double v);
    };
    void sample(const ZelAcqRecord& r);
    void event(const ZelAcqRecord& r);
    unsigned short channelCount(unsigned short position) const {
        return position < channelCounts.size() ? channelCounts[position] : 0;
    }

    const Options& options;
    std::vector<unsigned short> channelCounts;
    std::map<std::pair<int, int>, ChannelStats> channels;
    std::map<int, unsigned long long> gaps;        // gap records by position
    std::map<int, unsigned long long> gapSamples;  // samples missed by position
    std::map<int, unsigned long long> failures;    // failed samples by position
    unsigned long long samples = 0;
    bool headerDone = false;
};

}  // namespace zeltool

#endif  // ZEL_TOOLS_ZELTOOL_STREAM_H
