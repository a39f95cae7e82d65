// The module families of the C interface, used as a C host uses them: only
// the C header, handles, and the simulator on the other end of the socket.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "capi/zel_capi.h"
#include "zel_version.h"
#include "platform/net.h"
#include "sim_segment.h"

namespace {

struct Kind {
    const char* name;
    ZelModuleHandle (*create)(void);
    int (*initialize)(ZelModuleHandle, const char*, bool);
    void (*destroy)(ZelModuleHandle);
    unsigned long id;
    int channels;      // what the simulated module reports
    int kindChannels;  // what the object then counts: the module's report, or its kind's own
};

const Kind kKinds[] = {
    {"1 Vpp", Zel1VppModuleCreate, Zel1VppModuleInitialize, Zel1VppModuleDelete, ZEL_4107_01, 4, 4},
    {"Kalix", ZelKalixModuleCreate, ZelKalixModuleInitialize, ZelKalixModuleDelete, ZEL_4105_01, 4, 4},
    {"TTL", ZelTtlModuleCreate, ZelTtlModuleInitialize, ZelTtlModuleDelete, ZEL_4115_01, 2, 8},
    {"LVDT", ZelLvdtModuleCreate, ZelLvdtModuleInitialize, ZelLvdtModuleDelete, ZEL_4116_01, 2, 8},
    {"analog", ZelAnalogModuleCreate, ZelAnalogModuleInitialize, ZelAnalogModuleDelete, ZEL_4111_01, 4, 2},
    {"I/O", ZelIoModuleCreate, ZelIoModuleInitialize, ZelIoModuleDelete, ZEL_4109_01, 3, 8},
    {"pneumatic", ZelPneumaticModuleCreate, ZelPneumaticModuleInitialize, ZelPneumaticModuleDelete,
     ZEL_4110_01, 3, 1},
};

class CModules : public ::testing::Test {
protected:
    // One simulated module of each kind, at 127.N.0.10 onwards, in table order.
    void SetUp() override {
        for (const Kind& k : kKinds) {
            zelsim::ModuleState s;
            s.moduleId = static_cast<std::uint32_t>(k.id);
            s.numChannels = static_cast<std::uint8_t>(k.channels);
            segment.addModule(10 + static_cast<int>(&k - kKinds), s);
        }
        ASSERT_TRUE(segment.start());
    }
    std::string address(std::size_t module) const {
        return "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(10 + module);
    }
    std::size_t requests(std::size_t module) const { return segment.requests(module).size(); }
    int commandsSeen(std::size_t module, int command) const {
        int n = 0;
        for (const auto& r : segment.requests(module)) n += r.bytes[0] == command;
        return n;
    }
    // A handle of the kind, initialised against its module.
    ZelModuleHandle open(std::size_t module) {
        ZelModuleHandle h = kKinds[module].create();
        EXPECT_NE(h, nullptr);
        EXPECT_EQ(ZelModuleInitialize(h, address(module).c_str(), false), ZEL_OK);
        segment.clearRequests(module);
        return h;
    }

    zelsim::Segment segment;
};

TEST_F(CModules, EachKindInitialisesThroughTheSharedNameAndAnswersUnderEveryPrefix) {
    for (std::size_t i = 0; i < std::size(kKinds); ++i) {
        SCOPED_TRACE(kKinds[i].name);
        // A plain ZelModule on the same module: the kind's own initialisation
        // must send at least what the base sends, Kalix and 1 Vpp more.
        ZelModuleHandle plain = ZelModuleCreate();
        ASSERT_EQ(ZelModuleInitialize(plain, address(i).c_str(), false), ZEL_OK);
        const std::size_t base = requests(i);
        ZelModuleDelete(plain);
        segment.clearRequests(i);

        ZelModuleHandle h = kKinds[i].create();
        ASSERT_EQ(ZelModuleInitialize(h, address(i).c_str(), false), ZEL_OK);
        const std::size_t own = requests(i);
        EXPECT_GE(own, base);
        if (kKinds[i].id == ZEL_4105_01) {
            EXPECT_GT(commandsSeen(i, UDP_CMD_KALIX_CHANNEL_PRESENCE), 0)
                << "Kalix initialisation asks which channels hold an encoder";
        }

        MODULE_ID id = MODULE_ID_NONE;
        EXPECT_EQ(ZelModuleGetModuleType(h, &id), ZEL_OK);
        EXPECT_EQ(static_cast<unsigned long>(id), kKinds[i].id);
        char text[64] = {};
        EXPECT_EQ(ZelModuleGetIpAddress(h, text), 0);
        EXPECT_EQ(address(i), text);

        // The module-wide names accept a handle of any kind, by any prefix.
        unsigned short n = 0;
        EXPECT_EQ(ZelLvdtModuleGetNumChannels(h, &n), 0);
        unsigned short viaOwn = 0;
        EXPECT_EQ(ZelTtlModuleGetNumChannels(h, &viaOwn), 0);
        EXPECT_EQ(n, viaOwn);
        EXPECT_EQ(n, kKinds[i].kindChannels);
        unsigned char state = 9;
        EXPECT_EQ(ZelKalixModuleGetModuleErrorState(h, &state), ZEL_OK);
        EXPECT_EQ(state, 0);
        EXPECT_EQ(ZelAnalogModuleEnableDiags(h, DIAG_MODE_ON), ZEL_OK);
        segment.clearRequests(i);
        EXPECT_EQ(ZelPneumaticModuleInitialize(h, address(i).c_str(), false), ZEL_OK)
            << "any prefix's Initialize runs the object's own initialisation";
        EXPECT_EQ(requests(i), own) << "initialising again sends the same sequence";
        kKinds[i].destroy(h);
    }
}

TEST_F(CModules, ModuleDataErrorStateAndConnectMessageGetters) {
    segment.withState(1, [](zelsim::ModuleState& s) {
        s.mac = {0x02, 0xAB, 0xCD, 0x01, 0x23, 0x45};
        s.serial = "QZ765432";
        s.bootloaderVersion = {1, 4, 2, 0, 0};
        s.firmwareVersion = {3, 0, 7, 0, 0};
        s.integrityErrors = 0x10;
    });
    ZelModuleHandle h = open(1);
    const std::string prefix = "127." + std::to_string(segment.subnet());
    struct Text {
        const char* name;
        int (*get)(ZelModuleHandle, char*);
        std::string expected;
    } texts[] = {
        {"IpAddress", ZelModuleGetIpAddress, address(1)},
        {"IpStaticAddress", ZelModuleGetIpStaticAddress, prefix + ".200.11"},
        {"Netmask", ZelModuleGetNetmask, "255.255.0.0"},
        {"NetmaskStatic", ZelModuleGetNetmaskStatic, "255.255.255.0"},
        {"MacAddress", ZelModuleGetMacAddress, "02:AB:CD:01:23:45"},
        {"BootloaderVersion", ZelModuleGetBootloaderVersion, "1.4.2"},
        {"FirmwareVersion", ZelModuleGetFirmwareVersion, "3.0.7"},
        {"SerialNumber", ZelModuleGetSerialNumber, "QZ 765 432"},
    };
    for (const Text& t : texts) {
        char text[64] = "untouched";
        EXPECT_EQ(t.get(h, text), 0) << t.name;
        EXPECT_EQ(t.expected, text) << t.name;
        EXPECT_EQ(t.get(h, nullptr), ZEL_NULL_POINTER) << t.name;
    }
    unsigned short port = 0;
    EXPECT_EQ(ZelModuleGetPort(h, &port), 0);
    EXPECT_EQ(port, 27015);
    unsigned char dhcp = 9;
    EXPECT_EQ(ZelModuleGetUsingDhcp(h, &dhcp), 0);
    EXPECT_EQ(dhcp, 0);
    // A non-zero error word sets the error state; a zero word clears it.
    unsigned char state = 0;
    EXPECT_EQ(ZelKalixModuleGetModuleErrorState(h, &state), ZEL_OK);
    EXPECT_EQ(state, 1);
    segment.withState(1, [](zelsim::ModuleState& s) { s.integrityErrors = 0; });
    EXPECT_EQ(ZelKalixModuleGetModuleErrorState(h, &state), ZEL_OK);
    EXPECT_EQ(state, 0);
    ZelModuleDelete(h);

    // A real connect message: the module's answer to a connect request,
    // taken off the wire, through the six message getters.
    const zel::platform::SocketHandle raw = zel::platform::openUdpSocket();
    const unsigned char connect[12] = {0, 3, 9};
    ASSERT_GT(zel::platform::sendTo(raw, connect, sizeof(connect),
                                    zel::platform::parseAddress(address(1).c_str()), 27015), 0);
    ASSERT_EQ(zel::platform::waitReadable(raw, 2, 0), zel::platform::Readiness::Ready);
    char message[262] = {};
    ASSERT_GT(zel::platform::receiveFrom(raw, message, sizeof(message), nullptr), 0);
    zel::platform::closeSocket(raw);
    UdpCmdType type{};
    EXPECT_EQ(ZelModuleGetAsyncMsgType(message, &type), 0);
    EXPECT_EQ(type, UDP_CMD_CONNECT_MESSAGE);
    char text[64] = {};
    EXPECT_EQ(ZelModuleGetAsyncMsgIpAddress(message, text), 0);
    EXPECT_EQ(address(1), text);
    EXPECT_EQ(ZelModuleGetAsyncMsgPort(message, &port), 0);
    EXPECT_EQ(port, 27015);
    EXPECT_EQ(ZelModuleGetAsyncMsgDhcp(message, &dhcp), 0);
    EXPECT_EQ(dhcp, 0);
    EXPECT_EQ(ZelModuleGetAsyncMsgMacAddress(message, text), 0);
    EXPECT_STREQ(text, "02:AB:CD:01:23:45");
    EXPECT_EQ(ZelModuleGetAsyncMsgNetmask(message, text), 0);
    EXPECT_STREQ(text, "255.255.0.0");
    EXPECT_EQ(ZelModuleGetAsyncMsgSerialNumber(message, text), 0);
    EXPECT_STREQ(text, "QZ 765 432");
}

TEST_F(CModules, KindFunctionsRefuseOtherKindsAndNullPointers) {
    ZelModuleHandle ttl = open(2);
    ZelModuleHandle io = open(5);
    double positions[8] = {};
    unsigned char inputs = 0;
    EXPECT_EQ(ZelTtlModuleGetPositions(io, positions, 8, COUNT_REQUEST_NORMAL), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelIoModuleGetInputs(ttl, &inputs), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelTtlModuleGetPositions(ttl, nullptr, 8, COUNT_REQUEST_NORMAL), ZEL_NULL_POINTER);
    EXPECT_EQ(requests(2) + requests(5), 0u) << "a refused call sends nothing";

    EXPECT_EQ(ZelModuleReset(nullptr), ZEL_NULL_POINTER);
    ZelModuleDelete(nullptr);
    ZelTtlModuleDelete(nullptr);
    EXPECT_EQ(ZelModuleShowRespCode(nullptr, 1), ZEL_NULL_POINTER);
    char text[128] = {};
    EXPECT_EQ(ZelModuleShowRespCode(text, 43), 0);
    EXPECT_STREQ(text, "The bootloader and firmware cannot be updated while using DHCP");
    ZelModuleGetLibraryVersion(text);
    EXPECT_STREQ(text, ZEL_VERSION_TEXT);
    ZelModuleGetLibraryVersion(nullptr);
    EXPECT_EQ(ZelModuleGetIpAddress(ttl, nullptr), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelModuleSetAsyncPort(ttl, nullptr), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelModuleSetIpAddress(ttl, "127.0.0.9", nullptr), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelModuleSetBroadcastingNetmask(ttl, nullptr), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelModuleProgram(ttl, nullptr, false), ZEL_NULL_POINTER);
    short count = 0;
    char list[64];
    unsigned short ports[64];
    EXPECT_EQ(ZelModuleBroadcast(ttl, nullptr, 0, &count, list, list, ports), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelModuleBroadcast(ttl, "127.0.0.1", 0, &count, list, list, nullptr), ZEL_NULL_POINTER);
    // A broadcast that fails (no such local address) touches neither list nor ports.
    ZelModuleHandle finder = ZelModuleCreate();
    std::strcpy(list, "untouched");
    ports[0] = 7;
    EXPECT_NE(ZelModuleBroadcast(finder, "10.255.255.254", 0, &count, list, list, ports), ZEL_OK);
    EXPECT_STREQ(list, "untouched");
    EXPECT_EQ(ports[0], 7);
    ZelModuleDelete(finder);

    // Before initialisation: the record's empty values with 0, commands 20.
    ZelModuleHandle fresh = ZelTtlModuleCreate();
    char ip[32] = "unchanged";
    EXPECT_EQ(ZelModuleGetIpAddress(fresh, ip), 0);
    EXPECT_STREQ(ip, "0.0.0.0") << "the record's default";
    EXPECT_EQ(ZelTtlModuleGetPositions(fresh, positions, 8, COUNT_REQUEST_NORMAL), ZEL_COMM_NOT_INITIALIZED);
    ZelTtlModuleDelete(fresh);
    ZelModuleDelete(ttl);
    ZelModuleDelete(io);
}

TEST_F(CModules, ShortBuffersGiveUnknownErrorWithoutARequest) {
    ZelModuleHandle vpp = open(0);
    ZelModuleHandle kalix = open(1);
    short adc[8];
    unsigned long errors = 0;
    double values[16];
    KALIX_ERROR_RESULT flags[16];
    unsigned char diag[16];
    EXPECT_EQ(ZelModuleGetAdcValues(vpp, adc, 4), ZEL_UNKNOWN_ERROR);
    EXPECT_EQ(ZelKalixModuleGetAdcValues(kalix, adc, 4), ZEL_UNKNOWN_ERROR);
    EXPECT_EQ(ZelModuleGetModuleErrors(vpp, &errors, values, 13), ZEL_UNKNOWN_ERROR);
    EXPECT_EQ(Zel1VppModuleGetAnalogDiag(vpp, values, 1, 0), ZEL_UNKNOWN_ERROR);
    EXPECT_EQ(ZelKalixModuleGetKalixErrors(kalix, flags, 6, 0), ZEL_UNKNOWN_ERROR);
    EXPECT_EQ(ZelKalixModuleGetKalixWarnings(kalix, flags, 4, 0), ZEL_UNKNOWN_ERROR);
    EXPECT_EQ(ZelKalixModuleGetDiags(kalix, diag, 8, 0), ZEL_UNKNOWN_ERROR);
    EXPECT_EQ(requests(0) + requests(1), 0u);

    EXPECT_EQ(ZelModuleGetAdcValues(vpp, adc, 5), ZEL_OK);
    EXPECT_EQ(ZelModuleGetModuleErrors(vpp, &errors, values, 14), ZEL_OK);
    EXPECT_EQ(ZelKalixModuleGetKalixErrors(kalix, flags, 7, 0), ZEL_OK);
    EXPECT_EQ(commandsSeen(0, UDP_CMD_ADC_VALUES), 1);
    EXPECT_EQ(commandsSeen(0, UDP_CMD_INTEGRITY), 1);
    ZelModuleDelete(vpp);
    ZelModuleDelete(kalix);
}

TEST_F(CModules, BoolOperationsGiveUnknownErrorAndEmptyValues) {
    ZelModuleHandle ttl = open(2);
    ZelModuleHandle lvdt = open(3);
    unsigned long lines = 99;
    TTL_INTERPOLATION interpolation = static_cast<TTL_INTERPOLATION>(7);
    EXPECT_EQ(ZelTtlModuleGetLineCount(ttl, &lines, &interpolation, 40), ZEL_UNKNOWN_ERROR);
    EXPECT_EQ(lines, 0u);
    EXPECT_EQ(static_cast<int>(interpolation), 1);
    EXPECT_EQ(ZelLvdtModuleSetUom(lvdt, LVDT_UOM_MILLIMETRE, 40), ZEL_UNKNOWN_ERROR)
        << "a refused value is 38, not 33";

    // A failed exchange: the error state is written as 0 and the code passed on.
    ZelModuleSetUdpTimeout(ttl, 30);
    ZelModuleSetUdpNumRetries(ttl, 0);
    zelsim::Fault silent;
    silent.drop = -1;
    segment.setFault(2, UDP_CMD_CHANNEL_STATUS, silent);
    unsigned char state = 1;
    const int r = ZelTtlModuleGetChannelErrorState(ttl, &state, 0);
    EXPECT_NE(r, ZEL_OK);
    EXPECT_EQ(state, 0);
    long ms = 0;
    EXPECT_EQ(ZelModuleGetUdpTimeout(ttl, &ms), 0);
    EXPECT_EQ(ms, 30);
    ZelModuleDelete(ttl);
    ZelModuleDelete(lvdt);
}

TEST_F(CModules, EncoderClearErrorsWalksTheChannelsUntilOneFails) {
    ZelModuleHandle vpp = open(0);
    ZelModuleHandle io = open(5);
    // The plain ClearErrors, even by another prefix on an encoder handle: one command.
    EXPECT_EQ(ZelIoModuleClearErrors(vpp), ZEL_OK);
    EXPECT_EQ(requests(0), 1u);
    segment.clearRequests(0);
    EXPECT_EQ(Zel1VppModuleClearErrors(vpp), ZEL_OK);
    EXPECT_EQ(commandsSeen(0, UDP_CMD_INTEGRITY), 1);
    EXPECT_EQ(requests(0), 1u + 4u) << "then one clear per channel";
    EXPECT_EQ(Zel1VppModuleClearErrors(io), ZEL_NULL_POINTER);

    // The third channel's clear is refused: the walk stops there with its code.
    std::map<int, zelsim::Handler> handlers = zelsim::commonHandlers();
    zelsim::addKindHandlers(ZEL_4107_01, handlers);
    zelsim::Handler original = handlers[UDP_CMD_CHANNEL_STATUS];
    int seen = 0;
    segment.setHandler(0, UDP_CMD_CHANNEL_STATUS,
                       [&](zelsim::ModuleState& s, const zelsim::Bytes& request) {
                           if (++seen == 3) return std::optional<zelsim::Bytes>(zelsim::frame(17, 0, {}));
                           return original(s, request);
                       });
    segment.clearRequests(0);
    const int r = Zel1VppModuleClearErrors(vpp);
    EXPECT_NE(r, ZEL_OK);
    EXPECT_EQ(requests(0), 1u + 3u);
    ZelModuleDelete(vpp);
    ZelModuleDelete(io);
}

TEST_F(CModules, OutputsLatchesAndAsynchronousMessages) {
    ZelModuleHandle io = open(5);
    EXPECT_EQ(ZelIoModuleSetOutput(io, 3, 2), ZEL_OK);
    segment.withState(5, [](zelsim::ModuleState& s) { EXPECT_EQ(s.outputs & 0x04, 0x04) << "any non-zero value is on"; });
    segment.withState(5, [](zelsim::ModuleState& s) {
        s.inputs = 0x0A;
        s.latch[0] = 1;
    });
    unsigned char inputs = 0;
    EXPECT_EQ(ZelIoModuleGetInputs(io, &inputs), ZEL_OK);
    EXPECT_EQ(inputs & 0x0F, 0x0A);
    unsigned char latched = 7;
    EXPECT_EQ(ZelIoModuleGetLatch(io, &latched), ZEL_OK);
    EXPECT_EQ(latched, 1);
    EXPECT_EQ(ZelIoModuleClearLatch(io), ZEL_OK);
    segment.withState(5, [](zelsim::ModuleState& s) { EXPECT_EQ(s.latchOption, LATCH_CLEAR); });

    // The helpers read a datagram without a module; another type leaves the output.
    zelsim::ModuleState s;
    s.latch = {1, 0, 0, 0, 0};
    const zelsim::Bytes latch = zelsim::latchMessage(s);
    const zelsim::Bytes status = zelsim::channelStatusMessage(3, 0x41);
    UdpCmdType type = UDP_CMD_CONNECT;
    EXPECT_EQ(ZelModuleGetAsyncMsgType(reinterpret_cast<const char*>(latch.data()), &type), 0);
    EXPECT_EQ(type, UDP_CMD_LATCH);
    unsigned short channel = 99, word = 99;
    EXPECT_EQ(ZelModuleGetAsyncMsgChannelStatus(reinterpret_cast<const char*>(latch.data()), &channel, &word), 0);
    EXPECT_EQ(channel, 99);
    EXPECT_EQ(word, 99);
    EXPECT_EQ(ZelModuleGetAsyncMsgChannelStatus(reinterpret_cast<const char*>(status.data()), &channel, &word), 0);
    EXPECT_EQ(channel, 3);
    char ip[32] = "unchanged";
    EXPECT_EQ(ZelModuleGetAsyncMsgIpAddress(reinterpret_cast<const char*>(status.data()), ip), 0);
    EXPECT_STREQ(ip, "unchanged");
    EXPECT_EQ(ZelModuleGetAsyncMsgLatch(nullptr, &latched), ZEL_NULL_POINTER);
    ZelIoModuleDelete(io);
}

}  // namespace
