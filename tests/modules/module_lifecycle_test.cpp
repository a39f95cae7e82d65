// A module's initialisation and its configuration and neighbour commands
// against simulated modules: what ends up in ModuleData, the version texts,
// the number from FRAM, the order of checks and the codes of bad answers.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "modules/zel_module.h"
#include "sim_segment.h"

namespace {

// Reaches the checked exchange, which the module kinds use.
class ProbeModule : public ZelModule {
  public:
    using ZelModule::getUdpData;
};

class ModuleLifecycle : public ::testing::Test {
  protected:
    void start(zelsim::ModuleState state = {}) {
        segment.addModule(10, std::move(state));
        ASSERT_TRUE(segment.start());
        address = "127." + std::to_string(segment.subnet()) + ".0.10";
    }
    void startAndInitialize(zelsim::ModuleState state = {}) {
        start(std::move(state));
        ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    }
    // Answers the configuration command with these parameters.
    void configAnswer(std::uint8_t count, const zelsim::Bytes& params) {
        segment.setHandler(0, 7, [=](zelsim::ModuleState&, const zelsim::Bytes&) {
            return std::optional<zelsim::Bytes>(zelsim::frame(7, count, params));
        });
    }

    zelsim::Segment segment;
    std::string address;
    ProbeModule module;
};

TEST_F(ModuleLifecycle, InitializeModuleFillsTheModuleData) {
    zelsim::ModuleState s;
    s.moduleId = ZEL_4105_02;
    s.moduleNumber = 7;  // replaced by the hardware number in FRAM field 1
    s.typeByte = 0x42;
    s.numChannels = 6;
    s.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    s.serial = "XY987654";
    s.revision = 0;
    s.firmwareVersion = {3, 1, 4, 5, 9};
    s.bootloaderVersion = {1, 0, 3, 6, 2};
    s.dhcp = true;
    startAndInitialize(s);

    const ModuleData d = module.getModuleData();
    EXPECT_EQ(d.moduleId, ZEL_4105_02);
    EXPECT_EQ(d.moduleNumber, 580305UL);
    EXPECT_EQ(d.typeByte, 0x42);
    EXPECT_EQ(d.numChannels, 4) << "a six-channel answer describes four channels";
    EXPECT_STREQ(d.ipAddress, address.c_str());
    EXPECT_EQ(d.port, 27015);
    EXPECT_STREQ(d.macAddress, "00:1A:2B:3C:4D:5E");
    EXPECT_STREQ(d.serialNumber, "XY 987 654");
    EXPECT_EQ(d.revisionChar, ' ') << "revision 0 is stored as a space";
    EXPECT_TRUE(d.usingDhcp);
    EXPECT_TRUE(d.configDhcp);
    // The module runs on the address a DHCP server gave; its static address
    // and netmask differ, so a swap of the two is seen.
    EXPECT_STREQ(d.netmask, "255.255.0.0");
    EXPECT_STREQ(d.ipStatic, ("127." + std::to_string(segment.subnet()) + ".200.10").c_str());
    EXPECT_STREQ(d.netmaskStatic, "255.255.255.0");
    EXPECT_STREQ(d.bootloaderVersion, "1.0.3 RC 2");
    EXPECT_STREQ(d.firmwareVersion, "3.1.4 Beta 9");
    EXPECT_EQ(module.getNumChannels(), 4);
    EXPECT_EQ(module.getProgrammingState(), PROGRAMMING_IDLE);
    EXPECT_EQ(module.getProgrammingPercentComplete(), 0.0);

    // The sequence on the wire: connect, module type, FRAM field 1, configuration.
    std::vector<int> commands;
    for (const auto& r : segment.requests(0)) commands.push_back(r.bytes[0]);
    EXPECT_EQ(commands, (std::vector<int>{0, 10, 24, 7}));
}

TEST_F(ModuleLifecycle, InitializeFirmwareTalksToABootloaderWithoutAskingTheType) {
    zelsim::ModuleState s;
    s.bootloaderOnly = true;
    s.bootloaderVersion = {1, 0, 2, 0, 0};
    start(s);
    ASSERT_EQ(module.initializeFirmware(address.c_str()).getCode(), ZEL_OK);
    const ModuleData d = module.getModuleData();
    EXPECT_EQ(d.moduleId, MODULE_ID_NONE);
    EXPECT_EQ(d.numChannels, 0);
    EXPECT_EQ(d.moduleNumber, 0UL);
    EXPECT_STREQ(d.bootloaderVersion, "1.0.2");
    EXPECT_STREQ(d.firmwareVersion, "") << "no firmware: the cleared text stays";
    EXPECT_STREQ(d.ipAddress, address.c_str());
    std::vector<int> commands;
    for (const auto& r : segment.requests(0)) commands.push_back(r.bytes[0]);
    EXPECT_EQ(commands, (std::vector<int>{0, 7}));
    EXPECT_EQ(segment.requests(0)[0].bytes[11], 0) << "connects with the option false";

    // The bootloader reports identity 0 when asked.
    MODULE_ID id = ZEL_4101_01;
    unsigned long number = 1;
    unsigned char type = 1;
    unsigned short channels = 1;
    EXPECT_EQ(module.getModuleType(&id, &number, &type, &channels).getCode(), ZEL_OK);
    EXPECT_EQ(id, MODULE_ID_NONE);
    EXPECT_TRUE(ZelModule::isBootloaderModule(id));
}

TEST_F(ModuleLifecycle, FailuresOfTheSequenceAreReturnedAsTheyCame) {
    zelsim::Fault silent;
    silent.drop = -1;
    start();
    EXPECT_EQ(module.initializeModule(nullptr, false).getCode(), ZEL_NULL_POINTER);
    EXPECT_EQ(module.initializeFirmware(nullptr).getCode(), ZEL_NULL_POINTER);
    EXPECT_TRUE(segment.requests(0).empty());

    module.setUdpTimeout(100);
    segment.setFault(0, 10, silent);
    ZelResults r = module.initializeModule(address.c_str(), true);
    EXPECT_EQ(r.getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_STREQ(r.getMethod(), "ZelComm::sendCommandWait");
    // The connection stands: the connect record is in and the flag is set.
    EXPECT_STREQ(module.getModuleData().macAddress, "00:1A:2B:00:00:01");
    char ip[18];
    bool dhcp = true;
    char boot[32], firm[32];
    EXPECT_EQ(module.getConfig(ip, &dhcp, boot, firm).getCode(), ZEL_OK);
    EXPECT_EQ(segment.requests(0)[0].bytes[11], 1) << "connect option sent";
}

TEST_F(ModuleLifecycle, ModuleTypeAnswerRules) {
    startAndInitialize();
    MODULE_ID id;
    unsigned long number;
    unsigned char type;
    unsigned short channels;
    EXPECT_EQ(module.getModuleType(nullptr, &number, &type, &channels).getCode(), ZEL_NULL_POINTER);

    zelsim::Fault f;
    f.paramLength = 9;  // too short for the four values: all 0, still code 0
    segment.setFault(0, 10, f);
    ASSERT_EQ(module.getModuleType(&id, &number, &type, &channels).getCode(), ZEL_OK);
    EXPECT_EQ(id, MODULE_ID_NONE);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(channels, 0);
    EXPECT_EQ(number, 580313UL) << "the FRAM number still replaces it";

    for (int count : {0, 3, 5}) {
        SCOPED_TRACE(count);
        zelsim::Fault c;
        c.paramCount = count;
        segment.setFault(0, 10, c);
        id = ZEL_4101_01;
        EXPECT_EQ(module.getModuleType(&id, &number, &type, &channels).getCode(),
                  count == 0 ? ZEL_PARAM_COUNT_ZERO : ZEL_PARAM_COUNT_MISMATCH);
        EXPECT_EQ(id, ZEL_4101_01) << "outputs untouched";
    }
    segment.setFault(0, 10, zelsim::Fault{});

    // Channels are a signed byte widened to 16 bits.
    segment.withState(0, [](zelsim::ModuleState& s) { s.numChannels = 0xFF; });
    ASSERT_EQ(module.getModuleType(&id, &number, &type, &channels).getCode(), ZEL_OK);
    EXPECT_EQ(channels, 0xFFFF);
}

TEST_F(ModuleLifecycle, NumberFromFramOnlyWhenTheIdTextHasFourToThirtyOneCharacters) {
    startAndInitialize();
    segment.withState(0, [](zelsim::ModuleState& s) { s.moduleNumber = 99; });
    struct Case {
        zelsim::Bytes field1;  // stored bytes: hardware number (3, little-endian), variant
        unsigned long number;
    };
    const Case cases[] = {
        {{0xB1, 0xE2, 0x00, 1}, 58033UL},  // "58033-01", eight characters
        {{0x07, 0x00, 0x00, 0}, 7UL},      // "7-00", four characters
        {zelsim::Bytes(16, 1), 99UL},      // too big for the 32-byte buffer: nothing read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        segment.withState(0, [&](zelsim::ModuleState& s) { s.fram[1] = c.field1; });
        MODULE_ID id;
        unsigned long number = 0;
        unsigned char type;
        unsigned short channels;
        ASSERT_EQ(module.getModuleType(&id, &number, &type, &channels).getCode(), ZEL_OK);
        EXPECT_EQ(number, c.number);
    }
    // A failed FRAM read keeps the module's own number.
    segment.withState(0, [](zelsim::ModuleState& s) { s.fram.erase(1); });
    MODULE_ID id;
    unsigned long number = 0;
    unsigned char type;
    unsigned short channels;
    ASSERT_EQ(module.getModuleType(&id, &number, &type, &channels).getCode(), ZEL_OK);
    EXPECT_EQ(number, 99UL);
}

TEST_F(ModuleLifecycle, ConfigurationVersionTexts) {
    startAndInitialize();
    char ip[18], boot[32], firm[32];
    bool dhcp = true;
    EXPECT_EQ(module.getConfig(ip, nullptr, boot, firm).getCode(), ZEL_NULL_POINTER);

    zelsim::Bytes p(19, 0);
    p[0] = 4;
    p[1] = 3;
    p[2] = 2;
    p[3] = 1;  // 1.2.3.4, least significant byte first
    p[5] = 2;
    p[7] = 0;
    p[9] = 7;  // bootloader 2.0.7
    p[10] = 1;
    p[12] = 2;
    p[14] = 3;
    p[16] = 4;
    struct Case {
        std::uint8_t count;
        std::uint8_t firmwareRelease;
        const char* boot;
        const char* firm;
    };
    const Case cases[] = {
        {2, 0, "old", "old"},          {3, 0, "2.0.7", "old"},
        {4, 0, "2.0.7", "1.2.3"},      {4, 5, "2.0.7", "1.2.3 Beta 4"},
        {4, 6, "2.0.7", "1.2.3 RC 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firm);
        p[15] = c.firmwareRelease;
        configAnswer(c.count, p);
        std::strcpy(boot, "old");
        std::strcpy(firm, "old");
        ASSERT_EQ(module.getConfig(ip, &dhcp, boot, firm).getCode(), ZEL_OK);
        EXPECT_STREQ(ip, "1.2.3.4");
        EXPECT_FALSE(dhcp);
        EXPECT_STREQ(boot, c.boot);
        EXPECT_STREQ(firm, c.firm);
    }

    // A firmware version that starts with a character from '0' on is text.
    zelsim::Bytes text(19, 0);
    std::memcpy(text.data() + 10, "V2.4", 4);
    configAnswer(4, text);
    ASSERT_EQ(module.getConfig(ip, &dhcp, boot, firm).getCode(), ZEL_OK);
    EXPECT_STREQ(firm, "V2.4");
    EXPECT_STREQ(module.getModuleData().firmwareVersion, "V2.4");
    // A text of 32 characters or more is not taken.
    zelsim::Bytes longText(10 + 40, 'x');
    longText.push_back(0);
    configAnswer(4, longText);
    ASSERT_EQ(module.getConfig(ip, &dhcp, boot, firm).getCode(), ZEL_OK);
    EXPECT_STREQ(firm, "V2.4");
    // 0x80 and above count as below '0': formatted from numbers.
    text[10] = 0x80;
    configAnswer(4, text);
    ASSERT_EQ(module.getConfig(ip, &dhcp, boot, firm).getCode(), ZEL_OK);
    EXPECT_STREQ(firm, "128.46.0");

    zelsim::Fault wrong;
    wrong.type = 8;
    segment.setFault(0, 7, wrong);
    EXPECT_EQ(module.getConfig(ip, &dhcp, boot, firm).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
}

TEST_F(ModuleLifecycle, ChecksComeInTheOrderEachOperationGives) {
    start();
    // Not initialised: the pointer test of getModuleType comes first, the
    // flag test of getConfig and getLeft comes first, getAsyncPort has none.
    MODULE_ID id;
    unsigned long number;
    unsigned char type;
    unsigned short channels;
    EXPECT_EQ(module.getModuleType(nullptr, nullptr, nullptr, nullptr).getCode(), ZEL_NULL_POINTER);
    EXPECT_EQ(module.getModuleType(&id, &number, &type, &channels).getCode(),
              ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.getConfig(nullptr, nullptr, nullptr, nullptr).getCode(),
              ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.getLeft(nullptr).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.setRight(true).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.resetZelbus().getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.setAsyncMode(true).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(module.getAsyncPort(nullptr).getCode(), ZEL_NULL_POINTER);
    EXPECT_TRUE(segment.requests(0).empty());
}

TEST_F(ModuleLifecycle, AsyncPortAndModeAndNeighbourSignals) {
    startAndInitialize();
    segment.withState(0, [](zelsim::ModuleState& s) { s.asyncPort = 0x1234; });
    unsigned short port = 0;
    ASSERT_EQ(module.getAsyncPort(&port).getCode(), ZEL_OK);
    EXPECT_EQ(port, 0x1234);
    EXPECT_EQ(segment.requests(0).back().bytes, (zelsim::Bytes{13, 2, 3, 1, 0, 0}));

    zelsim::Fault negative;
    negative.type = 17;
    segment.setFault(0, 13, negative);
    port = 5;
    EXPECT_EQ(module.getAsyncPort(&port).getCode(), ZEL_OK);
    EXPECT_EQ(port, 0);
    zelsim::Fault other;
    other.type = 12;
    segment.setFault(0, 13, other);
    port = 5;
    EXPECT_EQ(module.getAsyncPort(&port).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(port, 0);

    ASSERT_EQ(module.setAsyncMode(true).getCode(), ZEL_OK);
    EXPECT_EQ(segment.requests(0).back().bytes, (zelsim::Bytes{25, 1, 1, 1}));

    ASSERT_EQ(module.setRight(true).getCode(), ZEL_OK);
    EXPECT_EQ(segment.requests(0).back().bytes, (zelsim::Bytes{9, 1, 1, 1}));
    ASSERT_EQ(module.resetZelbus().getCode(), ZEL_OK);
    segment.withState(0, [](zelsim::ModuleState& s) {
        EXPECT_TRUE(s.rightOutput);
        EXPECT_EQ(s.resets, 1);
    });

    LeftData left{};
    segment.withState(0, [](zelsim::ModuleState& s) { s.leftInput = true; });
    segment.setHandler(0, 8, [](zelsim::ModuleState&, const zelsim::Bytes&) {
        return std::optional<zelsim::Bytes>(zelsim::frame(8, 5, {4, 3, 2, 1, 1, 0, 1, 1}));
    });
    ASSERT_EQ(module.getLeft(&left).getCode(), ZEL_OK);
    EXPECT_STREQ(left.ipAddress, "1.2.3.4");
    EXPECT_TRUE(left.leftActive);
    EXPECT_FALSE(left.leftFlag2);
    EXPECT_TRUE(left.leftFlag3);
    EXPECT_TRUE(left.leftFlag4);

    struct Bad {
        zelsim::Fault fault;
        ZEL_RESPONSE_CODE code;
    };
    Bad bad[4];
    bad[0].fault.paramCount = 0;
    bad[0].code = ZEL_PARAM_COUNT_ZERO;
    bad[1].fault.paramCount = 4;
    bad[1].code = ZEL_PARAM_COUNT_MISMATCH;
    bad[2].fault.paramLength = 7;
    bad[2].code = ZEL_PARAM_SIZE_MISMATCH;
    bad[3].fault.type = 9;
    bad[3].code = ZEL_COMMAND_TYPE_MISMATCH;
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.code);
        segment.setFault(0, 8, b.fault);
        LeftData untouched{};
        EXPECT_EQ(module.getLeft(&untouched).getCode(), b.code);
        EXPECT_FALSE(untouched.leftActive);
    }
}

TEST_F(ModuleLifecycle, AnswersCountOnlyFromTheStoredModuleAddress) {
    startAndInitialize();
    ZelbusResponse response{};
    ASSERT_EQ(module.getUdpData(UDP_CMD_GET_MODULE_TYPE, 0, 0, &response).getCode(), ZEL_OK);
    EXPECT_EQ(module.getUdpData(UDP_CMD_GET_MODULE_TYPE, 0, 0, nullptr).getCode(),
              ZEL_NULL_POINTER);
    EXPECT_EQ(module.getUdpData(nullptr, UDP_CMD_GET_MODULE_TYPE, 0, 0, &response).getCode(),
              ZEL_NULL_POINTER);

    zelsim::Fault wrong;
    wrong.type = 5;
    segment.setFault(0, 1, wrong);
    EXPECT_EQ(module.getUdpData(UDP_CMD_GET_COUNTS, 2, 3, &response).getCode(),
              ZEL_COMMAND_TYPE_MISMATCH);

    // The connection aimed elsewhere than the stored address: every checked
    // exchange is refused, even when an answer came.
    ZELBUSConnectResponse record{};
    // "a.b.c" is the same address written with a 16-bit last part.
    const std::string alias = "127." + std::to_string(segment.subnet()) + ".10";
    ASSERT_TRUE(module.initializeComm(alias.c_str()));
    ASSERT_EQ(module.openConnection(alias.c_str(), &record, false).getCode(), ZEL_OK);
    ZelResults r = module.getUdpData(UDP_CMD_GET_MODULE_TYPE, 0, 0, &response);
    EXPECT_EQ(r.getCode(), ZEL_RETURN_IP_MISMATCH);
    EXPECT_STREQ(r.getMethod(), "ZelModule::getUdpData");
}

TEST_F(ModuleLifecycle, NewStaticAddressMovesTheModule) {
    startAndInitialize();
    const std::string moved = "127." + std::to_string(segment.subnet()) + ".3.7";
    ASSERT_EQ(module.setIp(moved.c_str(), "255.255.0.0").getCode(), ZEL_OK);
    segment.withState(0, [&](zelsim::ModuleState& s) {
        EXPECT_EQ(s.address, moved);
        EXPECT_EQ(s.netmask, "255.255.0.0");
    });
    ProbeModule again;
    ASSERT_EQ(again.initializeModule(moved.c_str(), false).getCode(), ZEL_OK);
    EXPECT_STREQ(again.getModuleData().ipStatic, moved.c_str());
    // The old address is gone.
    module.setUdpTimeout(50);
    MODULE_ID id;
    unsigned long number;
    unsigned char type;
    unsigned short channels;
    EXPECT_EQ(module.getModuleType(&id, &number, &type, &channels).getCode(), ZEL_RESPONSE_TIMEOUT);
}

TEST(ModuleIdentities, TheSimulatorStandsUpEveryIdentityOfTheTable) {
    zelsim::Segment segment;
    int host = 10;
    for (const auto& entry : zel::identity::kTable) {
        zelsim::ModuleState s;
        s.moduleId = entry.id;
        segment.addModule(host++, s);
    }
    ASSERT_TRUE(segment.start());
    // One module object per identity, initialised side by side.
    std::vector<ModuleData> data(std::size(zel::identity::kTable));
    std::vector<int> codes(data.size(), -1);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < data.size(); ++i) {
        threads.emplace_back([&, i] {
            ZelModule m;
            // Forty objects calibrate their busy-wait at once; under valgrind
            // the simulator's thread may wait long for its turn. What is
            // tested is the identities, not the time the answers take.
            m.setUdpTimeout(5000);
            const std::string ip =
                "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(10 + i);
            codes[i] = m.initializeModule(ip.c_str(), false).getCode();
            data[i] = m.getModuleData();
        });
    }
    for (auto& t : threads) t.join();
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto& entry = zel::identity::kTable[i];
        SCOPED_TRACE(entry.idString);
        EXPECT_EQ(codes[i], ZEL_OK);
        EXPECT_EQ(data[i].moduleId, entry.id);
        EXPECT_EQ(std::to_string(data[i].moduleNumber), std::string(entry.idString, 6));
        EXPECT_STREQ(ZelModule::showModuleId(data[i].moduleId), entry.idString);
    }
}

TEST(ModuleIdentities, TheSimulatorReportsAProcessorItCannotServeOnAndServesAnyway) {
    for (int cpu : {0, 4096}) {
        SCOPED_TRACE(cpu);
        zelsim::Segment segment;
        segment.addModule(10);
        segment.setServingCpu(cpu);
        ASSERT_TRUE(segment.start());
        EXPECT_EQ(segment.servingCpuRefused(), cpu == 4096);
        ZelModule m;
        const std::string ip = "127." + std::to_string(segment.subnet()) + ".0.10";
        EXPECT_EQ(m.initializeModule(ip.c_str(), false).getCode(), ZEL_OK);
    }
}

}  // namespace
