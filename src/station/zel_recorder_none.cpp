// The recorder of a build without SQLite (the Windows cross-build, for which
// Debian ships no SQLite): every recording is refused with the reason, and
// nothing is written or read.
#include <string>

#include "station/zel_recorder.h"

namespace {
const char* const kNoSqlite = "this build has no SQLite, so it cannot record or read recordings";
}  // namespace

struct ZelRecorder::Impl {};
struct ZelRecording::Impl {
    ZelRecordingContext context;
};

ZelRecorder::ZelRecorder() : impl(std::make_unique<Impl>()) {}
ZelRecorder::~ZelRecorder() = default;
bool ZelRecorder::open(const std::string& /*path*/, const ZelRecordingContext& /*context*/,
                       const ZelRecorderOptions& /*options*/) {
    return false;
}
bool ZelRecorder::push(const ZelAcqRecord& /*record*/) { return false; }
bool ZelRecorder::close(const ZelAcqStatistics* /*final*/) { return false; }
std::string ZelRecorder::partPath(const std::string& path, unsigned part) {
    return part == 0 ? path : path + "-" + std::to_string(part);
}
std::string ZelRecorder::error() const { return kNoSqlite; }
ZelRecorderStatistics ZelRecorder::statistics() const { return ZelRecorderStatistics(); }

ZelRecording::ZelRecording() : impl(std::make_unique<Impl>()) {}
ZelRecording::~ZelRecording() = default;
bool ZelRecording::open(const std::string& /*path*/) { return false; }
std::string ZelRecording::error() const { return kNoSqlite; }
const ZelRecordingContext& ZelRecording::context() const { return impl->context; }
long long ZelRecording::startUtcUs() const { return 0; }
long long ZelRecording::endUtcUs() const { return 0; }
unsigned ZelRecording::part() const { return 0; }
bool ZelRecording::finalStatistics(ZelAcqStatistics& /*statistics*/) const { return false; }
bool ZelRecording::summary(Summary& /*out*/) { return false; }
bool ZelRecording::each(long long /*fromUtcUs*/, long long /*toUtcUs*/, void* /*user*/,
                        bool (* /*take*/)(void*, const ZelAcqRecord&)) {
    return false;
}
