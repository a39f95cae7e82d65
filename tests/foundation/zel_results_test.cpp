#include "foundation/zel_results.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ZelResults, MessagesAreExactAndUnknownOutsideTheTable) {
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {0, "None"},
        {1, "Response timeout"},
        {4, "Command type mismatch"},
        {26, "The IP address in the return packet does not match the module that sent the command"},
        {32, "A NULL pointer was passed into a method"},
        {38, "Unknown error"},
        {43, "The bootloader and firmware cannot be updated while using DHCP"},
        {44, "Unknown"},
        {-1, "Unknown"},
        {1000000, "Unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_STREQ(ZelResults::showRespCode(static_cast<ZEL_RESPONSE_CODE>(c.code)), c.text);
    }
}

TEST(ZelResults, DefaultAndCopiesCarryAllThreeFields) {
    ZelResults empty;
    EXPECT_EQ(empty.getCode(), ZEL_OK);
    EXPECT_STREQ(empty.getMethod(), "");
    EXPECT_EQ(empty.getLine(), 0u);

    ZelResults source(ZEL_OUT_OF_RANGE, "ZelComm::setAsyncPort", 77);
    ZelResults copy = source;
    copy.setCode(ZEL_NULL_POINTER);
    copy.setMethod("Other::method");
    EXPECT_EQ(source.getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_STREQ(source.getMethod(), "ZelComm::setAsyncPort");
    EXPECT_EQ(source.getLine(), 77u);
    EXPECT_STREQ(copy.getMethod(), "Other::method");

    ZelResults nullMethod(ZEL_RESPONSE_TIMEOUT, nullptr, 5);
    EXPECT_STREQ(nullMethod.getMethod(), "");
}

TEST(ZelResults, NullPointersChangeNothing) {
    ZelResults r(ZEL_RESPONSE_TIMEOUT, "ZelComm::sendCommandWait", 10);
    const ZEL_RESPONSE_CODE code = ZEL_NULL_POINTER;
    const unsigned long line = 99;
    r.set(&code, "X::y", nullptr);
    r.set(nullptr, "X::y", &line);
    r.set(&code, nullptr, &line);
    r.setLine(nullptr);
    r.setMethod(nullptr);
    EXPECT_EQ(r.getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_STREQ(r.getMethod(), "ZelComm::sendCommandWait");
    EXPECT_EQ(r.getLine(), 10u);

    r.set(&code, "X::y", &line);
    EXPECT_EQ(r.getCode(), ZEL_NULL_POINTER);
    EXPECT_STREQ(r.getMethod(), "X::y");
    EXPECT_EQ(r.getLine(), 99u);
}

TEST(ZelResults, LongMethodTextIsCutToCapacity) {
    char longText[300];
    std::memset(longText, 'm', sizeof(longText) - 1);
    longText[sizeof(longText) - 1] = '\0';
    ZelResults r(ZEL_OK, longText, 1);
    EXPECT_EQ(std::strlen(r.getMethod()), ZelResults::kMethodCapacity - 1);
    r.setMethod("short");
    EXPECT_STREQ(r.getMethod(), "short");
}
