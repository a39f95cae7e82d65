#include "foundation/zel_results.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ZelResults, MessagesAreExactAndUnknownOutsideTheTable) {
    // Hosts show these texts and match on them: every one, exactly.
    static const char* const kTexts[44] = {
        "None",
        "Response timeout",
        "Command type invalid",
        "Module number invalid",
        "Command type mismatch",
        "Parameter count is zero",
        "Parameter count mismatch",
        "Parameter to send has a size mismatch",
        "Parameter size mismatch",
        "Invalid channel returned",
        "Broadcast command failed to send",
        "Broadcast failed to get a response",
        "The binding of the UDP socket failed",
        "The creation of the UDP server failed",
        "The flushing of the UDP read buffer failed",
        "The sending of the UDP datagram failed",
        "The reading of the UDP datagram failed",
        "The UDP port for receiving ZELBUS responses is invalid",
        "Asynchronous receive failed",
        "Download ended ok",
        "The communication to the module has not been initialized",
        "The module data has not been initialized",
        "The IP address is used by another module",
        "The module cannot be created twice",
        "The IP address is malformed, should be in the format 172.31.46.1",
        "The netmask is malformed, should be in the format 255.255.255.0",
        "The IP address in the return packet does not match the module that sent the command",
        "The file preparation for the programming of the module failed",
        "A NULL pointer was returned when trying to request a module",
        "The module requested is not the same as the one in the ZELBUS",
        "The IS_CONNECT_IN_SET pin is not high",
        "The first module could not be identified",
        "A NULL pointer was passed into a method",
        "A parameter value is out of range",
        "The FRAM request returned an error",
        "The file requested could not be opened",
        "The file requested could not be read",
        "The module is not in the bootloader",
        "Unknown error",
        "The revision of the firmware is invalid",
        "The image chosen for programming is invalid",
        "The checksum failed",
        "The firmware is not loaded on the module",
        "The bootloader and firmware cannot be updated while using DHCP",
    };
    for (int code = 0; code < 44; ++code) {
        SCOPED_TRACE(code);
        EXPECT_STREQ(ZelResults::showRespCode(static_cast<ZEL_RESPONSE_CODE>(code)), kTexts[code]);
    }
    for (int code : {44, -1, 1000000}) {
        EXPECT_STREQ(ZelResults::showRespCode(static_cast<ZEL_RESPONSE_CODE>(code)), "Unknown")
            << code;
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
