// Byte-order and address conversions of the module protocol.
#include "foundation/common_utils.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

long CommonUtils::uCharsToLong(unsigned char* bytes) {
    if (bytes == nullptr) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(uCharsToULong(bytes)));
}

unsigned long CommonUtils::uCharsToULong(unsigned char* bytes) {
    if (bytes == nullptr) return 0;
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

long long CommonUtils::uCharsToLongLong(unsigned char* bytes) {
    if (bytes == nullptr) return 0;
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
    return static_cast<int64_t>(value);
}

unsigned short CommonUtils::uCharsToUShort(unsigned char* bytes) {
    if (bytes == nullptr) return 0;
    return static_cast<unsigned short>(bytes[0] | bytes[1] << 8);
}

unsigned short CommonUtils::uCharsToUShortEndianSwap(unsigned char* bytes) {
    if (bytes == nullptr) return 0;
    return static_cast<unsigned short>(bytes[0] << 8 | bytes[1]);
}

void CommonUtils::uLongToUChars(unsigned char* bytes, unsigned long value) {
    if (bytes == nullptr) return;
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

void CommonUtils::uShortToUChars(unsigned char* bytes, unsigned short value) {
    if (bytes == nullptr) return;
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}

void CommonUtils::endianSwap(const unsigned char* source, unsigned char* destination,
                             unsigned short length) {
    if (source == nullptr || destination == nullptr) return;
    for (unsigned i = 0; i < length; ++i) destination[length - 1 - i] = source[i];
}

void CommonUtils::asciiCharsToBinChar(unsigned char* twoChars, unsigned char* out) {
    if (twoChars == nullptr || out == nullptr) return;
    const char text[3] = {static_cast<char>(twoChars[0]), static_cast<char>(twoChars[1]), '\0'};
    *out = static_cast<unsigned char>(std::strtol(text, nullptr, 16) & 0xFF);
}

namespace {

// A piece's value as a 32-bit atoi gives it, without atoi's undefined
// overflow: a piece outside the 32-bit int range is clamped to it.
uint32_t pieceValue(const char* piece) {
    long long value = std::strtoll(piece, nullptr, 10);
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    return static_cast<uint32_t>(static_cast<int32_t>(value));
}

}  // namespace

unsigned long CommonUtils::strToIpAddr(const char* text) {
    if (text == nullptr) return 0;
    char copy[kMaxIpTextLength + 1];
    std::strncpy(copy, text, kMaxIpTextLength);
    copy[kMaxIpTextLength] = '\0';

    // Unsigned arithmetic: the shifts keep the low 32 bits as the module
    // protocol's 32-bit addresses do, and a large piece cannot overflow.
    uint32_t accumulator = 0;
    int pieces = 0;
    char* piece = copy;
    for (char* p = copy; *p != '\0'; ++p) {
        if (*p != '.') continue;
        *p = '\0';
        accumulator = accumulator << 8 | pieceValue(piece);
        piece = p + 1;
        if (++pieces == 4) return accumulator;
    }
    if (*piece == '\0') return accumulator;
    return accumulator << 8 | pieceValue(piece);
}
