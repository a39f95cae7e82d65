// The operations with exchange settings of their own: each survives exactly
// as many lost answers as it has retries and fails with 1 on one more, and
// its attempts are one time-out apart. One row per operation, each its own
// test so the fixed waits run side by side.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "modules/zel_lvdt_module.h"
#include "modules/zel_module.h"
#include "sim_segment.h"

namespace {

struct Row {
    const char* name;
    int command;
    long timeoutMs;
    int retries;
    // Runs the operation on the module at 127.N.0.10 (a TTL module) or, for
    // the LVDT rows, at 127.N.0.11.
    std::function<ZelResults(ZelModule& ttl, ZelLvdtModule& lvdt, const std::string& ttlAddress)>
        run;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class OwnExchangeSettings : public ::testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        segment.addModule(10);
        zelsim::ModuleState lvdtState;
        lvdtState.moduleId = ZEL_4116_01;
        lvdtState.numChannels = 4;
        segment.addModule(11, lvdtState);
        ASSERT_TRUE(segment.start());
        ttlAddress = "127." + std::to_string(segment.subnet()) + ".0.10";
        const std::string lvdtAddress = "127." + std::to_string(segment.subnet()) + ".0.11";
        ASSERT_EQ(ttl.initializeModule(ttlAddress.c_str(), false).getCode(), ZEL_OK);
        ASSERT_EQ(lvdt.initializeModule(lvdtAddress.c_str(), false).getCode(), ZEL_OK);
    }

    zelsim::Segment segment;
    std::string ttlAddress;
    ZelModule ttl;
    ZelLvdtModule lvdt;
};

TEST_P(OwnExchangeSettings, LosesAsManyAnswersAsItsRetriesAndFailsOnOneMore) {
    const Row& row = GetParam();
    const std::size_t module = row.command == UDP_CMD_MODULE_SETTINGS ? 1 : 0;
    for (int dropped : {row.retries, row.retries + 1}) {
        SCOPED_TRACE(dropped);
        segment.clearRequests(module);
        zelsim::Fault lost;
        lost.drop = dropped;
        segment.setFault(module, row.command, lost);
        const ZelResults r = row.run(ttl, lvdt, ttlAddress);
        const bool enough = dropped <= row.retries;
        EXPECT_EQ(const_cast<ZelResults&>(r).getCode(), enough ? ZEL_OK : ZEL_RESPONSE_TIMEOUT);

        std::vector<long long> attempts;
        for (const auto& request : segment.requests(module)) {
            if (request.bytes[0] == row.command) attempts.push_back(request.timeUs);
        }
        ASSERT_EQ(attempts.size(), static_cast<std::size_t>(enough ? dropped + 1 : dropped));
        // A lost answer is waited for one whole time-out before the next attempt.
        for (std::size_t i = 1; i < attempts.size(); ++i) {
            const long long gapMs = (attempts[i] - attempts[i - 1]) / 1000;
            EXPECT_GE(gapMs, row.timeoutMs * 9 / 10) << i;
            EXPECT_LT(gapMs, row.timeoutMs * 2) << i;
        }
    }
}

const unsigned char kField[4] = {1, 2, 3, 4};
unsigned short kAsyncPort = 30000;

INSTANTIATE_TEST_SUITE_P(
    EveryOwnSetting, OwnExchangeSettings,
    ::testing::Values(Row{"Connect", UDP_CMD_CONNECT, 5000, 0,
                          [](ZelModule& m, ZelLvdtModule&, const std::string& address) {
                              ZELBUSConnectResponse record{};
                              return m.openConnection(address.c_str(), &record, false);
                          }},
                      Row{"SetIp", UDP_CMD_SET_IP, 1000, 3,
                          [](ZelModule& m, ZelLvdtModule&, const std::string& address) {
                              // The address the module has: it stays where the test finds it.
                              return m.setIp(address.c_str(), "255.255.0.0");
                          }},
                      Row{"SetDhcp", UDP_CMD_SET_DHCP, 1000, 3,
                          [](ZelModule& m, ZelLvdtModule&, const std::string&) {
                              return m.setDhcp(0);
                          }},
                      Row{"ForceReinstall", UDP_CMD_FORCE_FIRMWARE_REINSTALL, 1000, 3,
                          [](ZelModule& m, ZelLvdtModule&, const std::string&) {
                              return m.forceFirmwareReinstall();
                          }},
                      Row{"AsyncPort", UDP_CMD_ASYNC_PORT, 1000, 3,
                          [](ZelModule& m, ZelLvdtModule&, const std::string&) {
                              return m.setAsyncPort(&kAsyncPort);
                          }},
                      Row{"FramWrite", UDP_CMD_FRAM, 2000, 3,
                          [](ZelModule& m, ZelLvdtModule&, const std::string&) {
                              return m.setFram(6, 4, kField);
                          }},
                      Row{"LvdtExplicit", UDP_CMD_MODULE_SETTINGS, 2000, 1,
                          [](ZelModule&, ZelLvdtModule& l, const std::string&) {
                              return l.setExcitationVoltage(3.5);
                          }}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
