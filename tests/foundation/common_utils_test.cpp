#include "foundation/common_utils.h"

#include <gtest/gtest.h>

#include <string>

TEST(StrToIpAddr, ConvertsPiecesAsTheModulesExpect) {
    struct Case {
        const char* text;
        unsigned long value;
    } cases[] = {
        {"172.31.46.1", 0xAC1F2E01UL},
        {"255.255.255.0", 0xFFFFFF00UL},
        {"", 0},
        {"10.0.0.", 0x0A0000UL},  // empty last piece: no final shift
        {"1.2.3", 0x010203UL},
        {"1.2.3.4.5", 0x01020304UL},  // nothing after the fourth dot is read
        {"1.2.3.4.", 0x01020304UL},
        {"1.300.0.0", 0x012C0000UL | (0x1UL << 24)},  // 300 overlaps the octet before it
        {"a.b.c.d", 0},
        {"192.168.1.x", 0xC0A80100UL},
        {"4294967296", 0x7FFFFFFFUL},  // clamped to the 32-bit int range
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CommonUtils::strToIpAddr(c.text), c.value);
    }
    EXPECT_EQ(CommonUtils::strToIpAddr(nullptr), 0u);
    const std::string longText = std::string(400, '1');
    CommonUtils::strToIpAddr(longText.c_str());  // cut at 255 characters, no overrun
}

TEST(CommonUtils, ByteOrderConversions) {
    unsigned char be[] = {0x12, 0x34};
    EXPECT_EQ(CommonUtils::uCharsToUShortEndianSwap(be), 0x1234);
    EXPECT_EQ(CommonUtils::uCharsToUShort(be), 0x3412);

    unsigned char ones[] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(CommonUtils::uCharsToLong(ones), -1);
    EXPECT_EQ(CommonUtils::uCharsToULong(ones), 4294967295UL);

    unsigned char wide[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x80};
    EXPECT_EQ(static_cast<unsigned long long>(CommonUtils::uCharsToLongLong(wide)),
              0x8007060504030201ULL);

    unsigned char out[4] = {};
    CommonUtils::uLongToUChars(out, CommonUtils::strToIpAddr("172.31.46.1"));
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0x2E);
    EXPECT_EQ(out[2], 0x1F);
    EXPECT_EQ(out[3], 0xAC);
    CommonUtils::uShortToUChars(out, 0xA1B2);
    EXPECT_EQ(out[0], 0xB2);
    EXPECT_EQ(out[1], 0xA1);

    const unsigned char src[] = {1, 2, 3, 4};
    unsigned char dst[4] = {};
    CommonUtils::endianSwap(src, dst, 4);
    EXPECT_EQ(dst[0], 4);
    EXPECT_EQ(dst[3], 1);
}

TEST(CommonUtils, AsciiHexPairReadsOnlyTwoCharacters) {
    struct Case {
        const char* chars;
        unsigned char value;
    } cases[] = {{"1F", 0x1F}, {"a.", 0x0A}, {"G0", 0}, {"ff", 0xFF}, {" 7", 0x07}, {"-1", 0xFF}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chars);
        unsigned char two[2] = {static_cast<unsigned char>(c.chars[0]),
                                static_cast<unsigned char>(c.chars[1])};  // no terminator
        unsigned char out = 0x55;
        CommonUtils::asciiCharsToBinChar(two, &out);
        EXPECT_EQ(out, c.value);
    }
}

TEST(CommonUtils, NullPointersGiveZeroAndWriteNothing) {
    EXPECT_EQ(CommonUtils::uCharsToLong(nullptr), 0);
    EXPECT_EQ(CommonUtils::uCharsToULong(nullptr), 0u);
    EXPECT_EQ(CommonUtils::uCharsToLongLong(nullptr), 0);
    EXPECT_EQ(CommonUtils::uCharsToUShort(nullptr), 0);
    EXPECT_EQ(CommonUtils::uCharsToUShortEndianSwap(nullptr), 0);
    CommonUtils::uLongToUChars(nullptr, 1);
    CommonUtils::uShortToUChars(nullptr, 1);
    unsigned char b[2] = {9, 9};
    CommonUtils::endianSwap(nullptr, b, 2);
    CommonUtils::endianSwap(b, nullptr, 2);
    CommonUtils::asciiCharsToBinChar(nullptr, b);
    CommonUtils::asciiCharsToBinChar(b, nullptr);
    EXPECT_EQ(b[0], 9);
}
