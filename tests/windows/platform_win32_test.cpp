// The Winsock implementation of the platform layer on 127.0.0.1: datagrams
// with their sender, readiness waits, an oversize datagram refused without
// writing past the buffer, and one library reference per socket.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/clock.h"
#include "platform/net.h"
#include "platform/test_socket.h"

namespace net = zel::platform;

namespace {

using Socket = TestSocket;

const std::uint32_t kLoopback = net::parseAddress("127.0.0.1");

TEST(PlatformWin32, DatagramsCarryTheirSenderAndOversizeIsRefused) {
    Socket a, b;
    ASSERT_NE(a.handle, net::kInvalidSocket);
    ASSERT_TRUE(net::bindSocket(a.handle, kLoopback, 0));
    ASSERT_TRUE(net::bindSocket(b.handle, kLoopback, 0));
    EXPECT_EQ(net::waitReadable(a.handle, 0, 20000), net::Readiness::Timeout);
    EXPECT_EQ(net::waitReadable(a.handle, -1, 0), net::Readiness::Error);

    const char hello[] = "hello";
    ASSERT_EQ(net::sendTo(b.handle, hello, 5, kLoopback, a.bound().port), 5);
    ASSERT_EQ(net::waitReadable(a.handle, 1, 0), net::Readiness::Ready);
    char buffer[16] = {};
    net::Peer from;
    ASSERT_EQ(net::receiveWhole(a.handle, buffer, sizeof(buffer), &from), 5);
    EXPECT_EQ(std::memcmp(buffer, hello, 5), 0);
    EXPECT_EQ(from.address, kLoopback);
    EXPECT_EQ(from.port, b.bound().port);

    // 64 bytes into 8: reported as larger than the buffer; the guard bytes
    // behind the buffer stay untouched.
    char big[64];
    std::memset(big, 'x', sizeof(big));
    ASSERT_EQ(net::sendTo(b.handle, big, sizeof(big), kLoopback, a.bound().port), 64);
    ASSERT_EQ(net::waitReadable(a.handle, 1, 0), net::Readiness::Ready);
    char guarded[16];
    std::memset(guarded, 0, sizeof(guarded));
    EXPECT_GT(net::receiveWhole(a.handle, guarded, 8, nullptr), 8);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(guarded[i], 0) << i;

    bool ready[2] = {true, true};
    net::SocketHandle both[2] = {a.handle, b.handle};
    EXPECT_EQ(net::waitAnyReadable(both, 2, ready, 10), 0);
    ASSERT_EQ(net::sendTo(a.handle, hello, 5, kLoopback, b.bound().port), 5);
    EXPECT_EQ(net::waitAnyReadable(both, 2, ready, 1000), 1);
    EXPECT_FALSE(ready[0]);
    EXPECT_TRUE(ready[1]);
}

TEST(PlatformWin32, AnUnreachablePortIsNotReportedOnTheNextRead) {
    // Winsock reports an ICMP port-unreachable as an error of the next
    // read unless it is switched off; the library's sockets behave as BSD
    // sockets do and simply get no answer.
    Socket a;
    ASSERT_TRUE(net::bindSocket(a.handle, kLoopback, 0));
    Socket closed;
    ASSERT_TRUE(net::bindSocket(closed.handle, kLoopback, 0));
    const std::uint16_t port = closed.bound().port;
    net::closeSocket(closed.handle);
    closed.handle = net::openUdpSocket();
    ASSERT_EQ(net::sendTo(a.handle, "x", 1, kLoopback, port), 1);
    net::Clock::system().sleepMs(50);
    EXPECT_NE(net::waitReadable(a.handle, 0, 100000), net::Readiness::Error);
}

TEST(PlatformWin32, ClockTicksAndSleeps) {
    const net::Clock& clock = net::Clock::system();
    const unsigned long start = clock.tickMs();
    const long long startUs = net::monotonicMicroseconds();
    clock.sleepMs(100);
    const unsigned long ticked = clock.tickMs() - start;
    const long long elapsedUs = net::monotonicMicroseconds() - startUs;
    EXPECT_GE(elapsedUs, 90000);
    // The tick counter counts milliseconds, in steps of the system's timer
    // (up to 16 ms), and under Wine it is refreshed by the server process,
    // which may lag behind on a busy machine: it has moved, and by no more
    // than the milliseconds that passed.
    EXPECT_GT(ticked, 0UL);
    EXPECT_LE(ticked, static_cast<unsigned long>(elapsedUs / 1000 + 16));
    EXPECT_GT(clock.wallSeconds(), 1700000000LL);
    char text[net::kDottedCapacity];
    net::formatAddress(net::parseAddress("10.1.2.3"), text, sizeof(text));
    EXPECT_STREQ(text, "10.1.2.3");
    EXPECT_EQ(net::parseAddress("999.1.1.1"), 0xFFFFFFFFu);
}

}  // namespace
