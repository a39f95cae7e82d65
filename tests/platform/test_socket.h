// A datagram socket of the platform layer for its own tests, holding one
// reference on the socket library for as long as it lives.
#ifndef ZEL_TESTS_TEST_SOCKET_H
#define ZEL_TESTS_TEST_SOCKET_H

#include <gtest/gtest.h>

#include "platform/net.h"

struct TestSocket {
    TestSocket() {
        EXPECT_TRUE(zel::platform::acquireSocketLibrary());
        handle = zel::platform::openUdpSocket();
    }
    ~TestSocket() {
        zel::platform::closeSocket(handle);
        zel::platform::releaseSocketLibrary();
    }
    TestSocket(const TestSocket&) = delete;
    TestSocket& operator=(const TestSocket&) = delete;
    zel::platform::Peer bound() {
        zel::platform::Peer p;
        EXPECT_TRUE(zel::platform::localAddress(handle, &p));
        return p;
    }
    zel::platform::SocketHandle handle;
};

#endif  // ZEL_TESTS_TEST_SOCKET_H
