/// @file
/// Conversions between integers and the byte arrays of the module protocol
/// (little-endian unless a command says otherwise), and dotted IPv4 text to a
/// number. Every operation is static; a null pointer gives 0 or writes nothing.
#ifndef ZEL_COMMON_UTILS_H
#define ZEL_COMMON_UTILS_H

/// @addtogroup foundation
/// @{

#include "foundation/zel_export.h"

/// Byte-order and address conversions of the module protocol.
class ZEL_API CommonUtils {
  public:
    /// Longest dotted text strToIpAddr reads; longer input is cut there.
    static constexpr unsigned kMaxIpTextLength = 255;

    /// bytes[0..3] little-endian as a signed 32-bit value.
    static long uCharsToLong(unsigned char* bytes);
    /// bytes[0..3] little-endian as an unsigned 32-bit value.
    static unsigned long uCharsToULong(unsigned char* bytes);
    /// bytes[0..7] little-endian as a signed 64-bit value.
    static long long uCharsToLongLong(unsigned char* bytes);
    /// bytes[0] | bytes[1] << 8.
    static unsigned short uCharsToUShort(unsigned char* bytes);
    /// bytes[0] << 8 | bytes[1] (big-endian).
    static unsigned short uCharsToUShortEndianSwap(unsigned char* bytes);
    /// Writes the low 32 bits of value, least significant byte first.
    static void uLongToUChars(unsigned char* bytes, unsigned long value);
    /// Writes value, low byte first.
    static void uShortToUChars(unsigned char* bytes, unsigned short value);
    /// destination[length-1-i] = source[i]; nothing when a pointer is null or
    /// length is 0. The buffers must be distinct.
    static void endianSwap(const unsigned char* source, unsigned char* destination,
                           unsigned short length);
    /// The two characters twoChars[0..1] read as strtol base 16 reads them;
    /// stores the low 8 bits in *out. Reads nothing beyond the two characters.
    static void asciiCharsToBinChar(unsigned char* twoChars, unsigned char* out);
    /// Dotted text to a number with the first octet most significant. Pieces
    /// are converted as atoi converts them and OR-ed in whole (a piece above
    /// 255 overlaps the octet before it); anything after the fourth '.' is
    /// ignored; an empty last piece adds nothing and makes no final shift.
    static unsigned long strToIpAddr(const char* text);
};

/// @}

#endif  // ZEL_COMMON_UTILS_H
