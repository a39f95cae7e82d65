// The kept wait set over many sockets on 127.0.0.1: it gives back the tags
// of the sockets that are ready, and a wait with a limit is never cut short,
// whether the limit is under a millisecond or over a second.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <thread>

#include "platform/clock.h"
#include "platform/net.h"
#include "test_socket.h"

namespace net = zel::platform;

namespace {

// Bound to 127.0.0.1, on a port of the system's choosing.
struct Socket : TestSocket {
    Socket() {
        EXPECT_TRUE(net::bindSocket(handle, net::parseAddress("127.0.0.1"), 0));
        self = bound();
    }
    net::Peer self;
};

TEST(WaitSet, GivesTheTagsOfReadySocketsAndWaitsOutItsWholeLimit) {
    Socket a, b, sender;
    net::WaitSet set;
    ASSERT_TRUE(set.add(a.handle, 7));
    ASSERT_TRUE(set.add(b.handle, 9));
    std::size_t tags[4] = {};

    for (const long long limitUs : {300LL, 2500LL, 1000300LL}) {
        const long long from = net::monotonicMicroseconds();
        EXPECT_EQ(set.wait(limitUs, tags, 4), 0) << limitUs;
        EXPECT_GE(net::monotonicMicroseconds() - from, limitUs) << limitUs;
    }

    const char byte = 1;
    ASSERT_GT(net::sendTo(sender.handle, &byte, 1, b.self.address, b.self.port), 0);
    ASSERT_EQ(set.wait(1000000, tags, 4), 1);
    EXPECT_EQ(tags[0], 9u);
    char buffer[8];
    EXPECT_EQ(net::receiveFrom(b.handle, buffer, sizeof buffer, nullptr), 1);
    EXPECT_EQ(set.wait(0, tags, 4), 0);

    // No limit: the wait lasts until a datagram comes. A removed socket is
    // no longer looked at.
    set.remove(b.handle);
    ASSERT_GT(net::sendTo(sender.handle, &byte, 1, b.self.address, b.self.port), 0);
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        net::sendTo(sender.handle, &byte, 1, a.self.address, a.self.port);
    });
    EXPECT_EQ(set.wait(-1, tags, 4), 1);
    EXPECT_EQ(tags[0], 7u);
    late.join();
}

}  // namespace
