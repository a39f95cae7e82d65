// ZelProgramming: the image file. Header blocks, the validation of a file
// before anything is sent, and the version of an image. Files are read
// line by line in text mode (a CR LF line end reads as LF; every line keeps
// its LF).
#include <QByteArray>
#include <QFile>
#include <cstdlib>
#include <cstring>

#include "foundation/result_helpers.h"
#include "programming/program_file.h"
#include "programming/zel_programming.h"

namespace zel::image {

bool LineReader::open(const char* file) {
    // An empty name names no file (and Qt would warn about it on the console).
    if (file == nullptr || *file == '\0') return false;
    handle.setFileName(QString::fromLocal8Bit(file));
    return handle.open(QIODevice::ReadOnly | QIODevice::Text);
}

bool LineReader::next(QByteArray& line) {
    if (handle.atEnd()) return false;
    // Read into the caller's buffer, reusing its room from line to line.
    constexpr qsizetype kChunk = 4096;
    qsizetype used = 0;
    for (;;) {
        if (line.size() < used + kChunk) line.resize(used + kChunk);
        const qint64 n = handle.readLine(line.data() + used, line.size() - used);
        if (n <= 0) break;
        used += static_cast<qsizetype>(n);
        if (line.at(used - 1) == '\n' || handle.atEnd()) break;
    }
    line.resize(used);
    return used > 0;
}

bool contains(const QByteArray& line, const char* key) { return line.contains(key); }

}  // namespace zel::image

namespace {

using zel::image::contains;
using zel::image::LineReader;

// The keys of a header block, in their order.
constexpr const char* kBlockKeys[] = {
    zel::image::kName, zel::image::kImageType, zel::image::kPriority, zel::image::kVersion,
    zel::image::kDate, zel::image::kFileSize,  zel::image::kChecksum};

// The line without any occurrence of the key, white space folded.
QByteArray withoutKey(const QByteArray& line, const char* key) {
    QByteArray rest = line;
    rest.replace(key, "");
    return rest;
}

void storeText(char* field, const QByteArray& line, const char* key) {
    const QByteArray rest = withoutKey(line, key);
    // A value that does not fit leaves the field as it was.
    if (rest.size() >= static_cast<qsizetype>(ZEL_HEADER_TEXT_CAPACITY)) return;
    const QByteArray value = rest.simplified();
    std::memset(field, 0, ZEL_HEADER_TEXT_CAPACITY);
    std::memcpy(field, value.constData(), static_cast<std::size_t>(value.size()));
}

unsigned int numberOf(const QByteArray& line, const char* key) {
    const QByteArray value = withoutKey(line, key).simplified();
    return static_cast<unsigned int>(std::strtoul(value.constData(), nullptr, 10));
}

void storeField(ProgramFileHeader& h, int index, const QByteArray& line) {
    const char* key = kBlockKeys[index];
    switch (index) {
        case 0:
            storeText(h.name, line, key);
            break;
        case 1:
            storeText(h.imageType, line, key);
            break;
        case 2:
            storeText(h.modulePriority, line, key);
            break;
        case 3:
            storeText(h.version, line, key);
            break;
        case 4:
            storeText(h.date, line, key);
            break;
        case 5:
            h.fileSizeBytes = numberOf(line, key);
            break;
        default:
            h.checksum = numberOf(line, key);
            break;
    }
}

// Markers that must not appear in a file of the other image type.
constexpr const char* kFirmwareMarkers[] = {
    "ZEL_IMAGE_TYPE: Firmware", "ZEL_NAME: ZELfirmware.elf.S19", "ZEL_NAME: ZELfirmwareP2.elf.S19",
    "ZEL_DATA_START: ZELfirmware.elf.S19", "ZEL_DATA_START: ZELfirmwareP2.elf.S19"};
constexpr const char* kBootloaderMarkers[] = {"ZEL_IMAGE_TYPE: Bootloader",
                                              "ZEL_NAME: ZELbootloader.elf.S19",
                                              "ZEL_DATA_START: ZELbootloader.elf.S19"};

template <std::size_t N>
bool containsAny(const QByteArray& line, const char* const (&markers)[N]) {
    for (const char* marker : markers) {
        if (contains(line, marker)) return true;
    }
    return false;
}

}  // namespace

bool ZelProgramming::getProgramFileHeaders(const char* file, PROGRAMMING_TYPE /*type*/,
                                           ProgramFileHeader* headers, unsigned short maxHeaders) {
    if (file == nullptr || headers == nullptr) return false;
    LineReader reader;
    if (!reader.open(file)) return false;
    unsigned short k = 0;
    QByteArray line;
    while (reader.next(line)) {
        if (contains(line, zel::image::kDatVersion)) {
            storeText(headers[k].datVersion, line, zel::image::kDatVersion);
            continue;
        }
        if (!contains(line, zel::image::kName)) continue;
        storeField(headers[k], 0, line);
        for (int key = 1; key < 7; ++key) {
            if (!reader.next(line) || !contains(line, kBlockKeys[key])) return false;
            storeField(headers[k], key, line);
        }
        if (maxHeaders <= 1 || k + 1 >= maxHeaders) return true;
        ++k;
    }
    return true;
}

ZelResults ZelProgramming::validateFile(const char* file, bool isBootloader) {
    constexpr char kMethod[] = "ZelProgramming::validateFile";
    // The records are read into as they stand: a value too long for its
    // field leaves what an earlier file put there, and a bootloader file
    // fills header 0 only.
    const bool read = isBootloader ? getProgramFileHeaders(file, PROGRAMMING_BOOTLOADER, headers, 1)
                                   : getProgramFileHeaders(file, PROGRAMMING_FIRMWARE, headers, 2);
    if (!read) return ZEL_RESULT(ZEL_FILE_PREPARATION_FAILED, kMethod);
    LineReader reader;
    if (!reader.open(file)) return ZEL_RESULT(ZEL_FILE_PREPARATION_FAILED, kMethod);
    std::uint32_t sum = 0;
    QByteArray line;
    while (reader.next(line)) {
        // Every key and marker holds "ZEL_"; most lines are data lines without it.
        const bool keyed = contains(line, "ZEL_");
        if (keyed && (isBootloader ? containsAny(line, kFirmwareMarkers)
                                   : containsAny(line, kBootloaderMarkers))) {
            return ZEL_RESULT(ZEL_IMAGE_INVALID, kMethod);
        }
        if (keyed && contains(line, zel::image::kFinalChecksum)) {
            sum = 0u - sum;
            if (numberOf(line, zel::image::kFinalChecksum) != sum) {
                return ZEL_RESULT(ZEL_CHECKSUM_FAILED, kMethod);
            }
            continue;
        }
        for (char byte : line)
            sum += static_cast<std::uint32_t>(
                static_cast<std::int32_t>(static_cast<signed char>(byte)));
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelProgramming::getProgramVersion(const char* file, PROGRAMMING_TYPE type, char* version,
                                             PROGRAMMING_PRIORITY_LEVEL level) {
    constexpr char kMethod[] = "ZelProgramming::getProgramVersion";
    if (file == nullptr || version == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (level != PRIORITY_LEVEL_1 && level != PRIORITY_LEVEL_2)
        return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    ZelResults r = validateFile(file, type == PROGRAMMING_BOOTLOADER);
    if (!r.ok()) return r;
    std::memcpy(version, headers[level].version, ZEL_HEADER_TEXT_CAPACITY);
    version[ZEL_HEADER_TEXT_CAPACITY - 1] = '\0';
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}
