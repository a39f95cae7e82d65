// ZelModuleBroadcast through the C header: the answers' addresses and
// netmasks joined by single spaces in arrival order, the ports beside them.
#include <gtest/gtest.h>

#include <string>

#include "capi/zel_capi.h"
#include "sim_segment.h"

TEST(CBroadcast, ListsAreJoinedBySingleSpacesInArrivalOrder) {
    zelsim::Segment segment;
    const int hosts[] = {40, 12, 25};
    const int delays[] = {0, 60, 120};  // arrival order 40, 12, 25
    for (int i = 0; i < 3; ++i) {
        zelsim::ModuleState s;
        s.netmask = i == 1 ? "255.255.255.0" : "255.255.0.0";
        segment.addModule(hosts[i], s);
        zelsim::Fault late;
        late.delayMs = delays[i];
        segment.setFault(static_cast<std::size_t>(i), UDP_CMD_CONNECT, late);
    }
    ASSERT_TRUE(segment.start());
    const std::string net = "127." + std::to_string(segment.subnet()) + ".0.";

    ZelModuleHandle h = ZelModuleCreate();
    ASSERT_EQ(ZelModuleSetBroadcastingNetmask(h, zelsim::Segment::kNetmask), 0);
    short count = 0;
    char ips[256];
    char netmasks[256];
    unsigned short ports[64] = {};
    ASSERT_EQ(ZelModuleBroadcast(h, segment.hostAddress().c_str(), 0, &count, ips, netmasks, ports),
              ZEL_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::string(ips), net + "40 " + net + "12 " + net + "25");
    EXPECT_EQ(std::string(netmasks), "255.255.0.0 255.255.255.0 255.255.0.0");
    EXPECT_EQ(ports[0], 27015);
    EXPECT_EQ(ports[2], 27015);
    ZelModuleDelete(h);
}
