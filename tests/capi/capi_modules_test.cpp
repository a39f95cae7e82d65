// The module families of the C interface, used as a C host uses them: only
// the C header, handles, and the simulator on the other end of the socket.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "capi/zel_capi.h"
#include "platform/net.h"
#include "sim_segment.h"
#include "zel_version.h"

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
    {"Kalix", ZelKalixModuleCreate, ZelKalixModuleInitialize, ZelKalixModuleDelete, ZEL_4105_01, 4,
     4},
    {"TTL", ZelTtlModuleCreate, ZelTtlModuleInitialize, ZelTtlModuleDelete, ZEL_4115_01, 2, 8},
    {"LVDT", ZelLvdtModuleCreate, ZelLvdtModuleInitialize, ZelLvdtModuleDelete, ZEL_4116_01, 2, 8},
    {"analog", ZelAnalogModuleCreate, ZelAnalogModuleInitialize, ZelAnalogModuleDelete, ZEL_4111_01,
     4, 2},
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

    // A referencing started on channel 1 of `module`: searching, complete
    // within a few polls, then acknowledged on the module.
    void finishReferencing(std::size_t module, ZelModuleHandle h,
                           decltype(&Zel1VppModuleGetReferencingState) getState,
                           decltype(&Zel1VppModuleGetReferencingComplete) getComplete,
                           decltype(&Zel1VppModuleAcknowledgeAbsolutePosition) acknowledge) {
        REF_MARK_STATE state = REF_MARK_STATE_IDLE;
        EXPECT_EQ(getState(h, 1, &state), 0);
        EXPECT_EQ(state, REF_MARK_STATE_SEARCHING);
        bool complete = false;
        for (int poll = 0; poll < 5 && !complete; ++poll) {
            EXPECT_EQ(getComplete(h, 1, &complete), 0);
        }
        EXPECT_TRUE(complete);
        EXPECT_EQ(acknowledge(h, 1), 0);
        segment.withState(
            module, [](zelsim::ModuleState& s) { EXPECT_TRUE(s.incremental[1].acknowledged); });
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
    // The exchange settings read back; a reset reaches the module.
    EXPECT_EQ(ZelModuleSetUdpNumRetries(h, 3), 0);
    EXPECT_EQ(ZelModuleSetNetworkDelay(h, 25), 0);
    short setting = 0;
    EXPECT_EQ(ZelModuleGetUdpNumRetries(h, &setting), 0);
    EXPECT_EQ(setting, 3);
    EXPECT_EQ(ZelModuleGetNetworkDelay(h, &setting), 0);
    EXPECT_EQ(setting, 25);
    EXPECT_EQ(ZelModuleReset(h), 0);
    segment.withState(1, [](zelsim::ModuleState& s) { EXPECT_EQ(s.resets, 1); });
    ZelModuleDelete(h);

    // A real connect message: the module's answer to a connect request,
    // taken off the wire, through the six message getters.
    const zel::platform::SocketHandle raw = zel::platform::openUdpSocket();
    const unsigned char connect[12] = {0, 3, 9};
    ASSERT_GT(zel::platform::sendTo(raw, connect, sizeof(connect),
                                    zel::platform::parseAddress(address(1).c_str()), 27015),
              0);
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
    EXPECT_EQ(ZelModuleBroadcast(ttl, "127.0.0.1", 0, &count, list, list, nullptr),
              ZEL_NULL_POINTER);
    // A broadcast that fails (no such local address) touches neither list nor ports.
    ZelModuleHandle finder = ZelModuleCreate();
    std::strcpy(list, "untouched");
    ports[0] = 7;
    EXPECT_EQ(ZelModuleBroadcast(finder, "10.255.255.254", 0, &count, list, list, ports),
              ZEL_UDP_BIND_FAILED);
    EXPECT_STREQ(list, "untouched");
    EXPECT_EQ(ports[0], 7);
    ZelModuleDelete(finder);

    // Before initialisation: the record's empty values with 0, commands 20.
    ZelModuleHandle fresh = ZelTtlModuleCreate();
    char ip[32] = "unchanged";
    EXPECT_EQ(ZelModuleGetIpAddress(fresh, ip), 0);
    EXPECT_STREQ(ip, "0.0.0.0") << "the record's default";
    EXPECT_EQ(ZelTtlModuleGetPositions(fresh, positions, 8, COUNT_REQUEST_NORMAL),
              ZEL_COMM_NOT_INITIALIZED);
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
    EXPECT_EQ(r, ZEL_RESPONSE_TIMEOUT);
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
                           if (++seen == 3)
                               return std::optional<zelsim::Bytes>(zelsim::frame(17, 0, {}));
                           return original(s, request);
                       });
    segment.clearRequests(0);
    const int r = Zel1VppModuleClearErrors(vpp);
    EXPECT_EQ(r, ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(requests(0), 1u + 3u);
    ZelModuleDelete(vpp);
    ZelModuleDelete(io);
}

TEST_F(CModules, OutputsLatchesAndAsynchronousMessages) {
    ZelModuleHandle io = open(5);
    EXPECT_EQ(ZelIoModuleSetOutput(io, 3, 2), ZEL_OK);
    segment.withState(5, [](zelsim::ModuleState& s) {
        EXPECT_EQ(s.outputs & 0x04, 0x04) << "any non-zero value is on";
    });
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
    EXPECT_EQ(ZelModuleGetAsyncMsgChannelStatus(reinterpret_cast<const char*>(latch.data()),
                                                &channel, &word),
              0);
    EXPECT_EQ(channel, 99);
    EXPECT_EQ(word, 99);
    EXPECT_EQ(ZelModuleGetAsyncMsgChannelStatus(reinterpret_cast<const char*>(status.data()),
                                                &channel, &word),
              0);
    EXPECT_EQ(channel, 3);
    char ip[32] = "unchanged";
    EXPECT_EQ(ZelModuleGetAsyncMsgIpAddress(reinterpret_cast<const char*>(status.data()), ip), 0);
    EXPECT_STREQ(ip, "unchanged");
    EXPECT_EQ(ZelModuleGetAsyncMsgLatch(nullptr, &latched), ZEL_NULL_POINTER);
    unsigned char latches[5] = {};
    EXPECT_EQ(ZelModuleGetAsyncMsgLatch(reinterpret_cast<const char*>(latch.data()), latches), 0);
    EXPECT_EQ(latches[0], 1);
    ZelIoModuleDelete(io);
}

// Every setting a kind function keeps in the object reads back through its
// own getter, and every command reaches the simulated module's own field:
// a wrapper wired to a neighbour's method or argument fails here.
TEST_F(CModules, IncrementalChannelFunctionsReachTheirOwnSettingOrCommand) {
    ZelModuleHandle vpp = open(0);
    EXPECT_EQ(Zel1VppModuleSetErrorCompensation(vpp, 12.5, 1), 0);
    EXPECT_EQ(Zel1VppModuleSetScaling(vpp, 2.0, 1), 0);
    EXPECT_EQ(Zel1VppModuleSetDeviceOffset(vpp, 1, 3.25), 0);
    EXPECT_EQ(Zel1VppModuleSetRotaryFormat(vpp, 1, ROTARY_FORMAT_PLUS_MINUS_180), 0);
    EXPECT_EQ(Zel1VppModuleSetEncoderType(vpp, ENCODER_TYPE_ROTARY, 1), 0);
    EXPECT_EQ(Zel1VppModuleSetUom(vpp, UOM_DEGREE, 1), 0);
    EXPECT_EQ(Zel1VppModuleSetCountingDirection(vpp, true, 1), 0);
    EXPECT_EQ(Zel1VppModuleSetLineCount(vpp, 2048, 1), 0);
    double value = 0;
    EXPECT_EQ(Zel1VppModuleGetResolution(vpp, &value, 1), 0);
    EXPECT_DOUBLE_EQ(value, 360.0 / (2048.0 * 4096.0)) << "the line count sets the resolution";
    EXPECT_EQ(Zel1VppModuleSetSignalPeriod(vpp, 20, 1), 0);
    EXPECT_EQ(requests(0), 0u) << "all of these are the object's own settings";

    EXPECT_EQ(Zel1VppModuleGetErrorCompensation(vpp, &value, 1), 0);
    EXPECT_DOUBLE_EQ(value, 12.5);
    EXPECT_EQ(Zel1VppModuleGetScaling(vpp, &value, 1), 0);
    EXPECT_DOUBLE_EQ(value, 2.0);
    EXPECT_EQ(Zel1VppModuleGetDeviceOffset(vpp, 1, &value), 0);
    EXPECT_DOUBLE_EQ(value, 3.25);
    EXPECT_EQ(Zel1VppModuleGetResolution(vpp, &value, 1), 0);
    EXPECT_DOUBLE_EQ(value, 20 / 1000.0 * 0.25 / 1024) << "and so does the signal period";
    ROTARY_FORMAT format = ROTARY_FORMAT_NONE;
    EXPECT_EQ(Zel1VppModuleGetRotaryFormat(vpp, 1, &format), 0);
    EXPECT_EQ(format, ROTARY_FORMAT_PLUS_MINUS_180);
    ENCODER_TYPES_ENUM type = ENCODER_TYPE_NONE;
    EXPECT_EQ(Zel1VppModuleGetEncoderType(vpp, &type, 1), 0);
    EXPECT_EQ(type, ENCODER_TYPE_ROTARY);
    UOM uom = UOM_NONE;
    EXPECT_EQ(Zel1VppModuleGetUom(vpp, &uom, 1), 0);
    EXPECT_EQ(uom, UOM_DEGREE);
    bool direction = false;
    EXPECT_EQ(Zel1VppModuleGetCountingDirection(vpp, &direction, 1), 0);
    EXPECT_TRUE(direction);
    unsigned long lines = 0;
    EXPECT_EQ(Zel1VppModuleGetLineCount(vpp, &lines, 1), 0);
    EXPECT_EQ(lines, 2048u);
    unsigned short period = 0;
    EXPECT_EQ(Zel1VppModuleGetSignalPeriod(vpp, &period, 1), 0);
    EXPECT_EQ(period, 20);
    // The other channels keep theirs.
    EXPECT_EQ(Zel1VppModuleGetDeviceOffset(vpp, 2, &value), 0);
    EXPECT_DOUBLE_EQ(value, 0.0);

    segment.withState(0, [](zelsim::ModuleState& s) {
        s.latch = {1, 0, 1, 0, 1};
        s.channelStatus[1] = 0x41;
        s.incremental[2].detectedSignalType = 1;
    });
    EXPECT_EQ(Zel1VppModuleEnableErrorChecking(vpp, true, 1), 0);
    EXPECT_EQ(Zel1VppModuleSetLatch(vpp, LATCH_SET, LATCH_CHOICE_2), 0);
    EXPECT_EQ(Zel1VppModuleSetLatchDebouncing(vpp, 1, 300), 0);
    EXPECT_EQ(Zel1VppModuleEnableAnalogDiag(vpp, true, 1), 0);
    EXPECT_EQ(Zel1VppSetSignalType(vpp, 1, SIGNAL_TYPE_CURRENT), 0);
    EXPECT_EQ(Zel1VppModuleStartReferencing(vpp, 1, REFERENCE_MARK_DISTANCE_CODED, 1000), 0);
    segment.withState(0, [](zelsim::ModuleState& s) {
        EXPECT_TRUE(s.errorChecking[1]);
        EXPECT_FALSE(s.errorChecking[0]);
        EXPECT_EQ(s.latchOption, LATCH_SET);
        EXPECT_EQ(s.latchChoice, LATCH_CHOICE_2);
        EXPECT_EQ(s.debounceTime[1], 300);
        EXPECT_TRUE(s.incremental[1].analogDiag);
        EXPECT_EQ(s.incremental[1].signalType, SIGNAL_TYPE_CURRENT);
        EXPECT_EQ(s.incremental[1].markKind, REFERENCE_MARK_DISTANCE_CODED);
        EXPECT_EQ(s.incremental[1].markParameter, 1000);
    });
    unsigned char latches[5] = {};
    EXPECT_EQ(Zel1VppModuleGetLatches(vpp, latches, 5), 0);
    EXPECT_EQ(std::vector<unsigned char>(latches, latches + 5),
              (std::vector<unsigned char>{1, 0, 0, 0, 0}))
        << "the four extra latch inputs are a base module's";
    unsigned char status = 0;
    EXPECT_EQ(Zel1VppModuleGetChannelStatus(vpp, &status, 1), 0);
    EXPECT_EQ(status, 0x41);
    SIGNAL_TYPE signal = SIGNAL_TYPE_VOLTAGE;
    EXPECT_EQ(Zel1VppGetSignalType(vpp, 1, &signal), 0);
    EXPECT_EQ(signal, SIGNAL_TYPE_CURRENT);
    signal = SIGNAL_TYPE_VOLTAGE;
    EXPECT_EQ(Zel1VppDetectSignalType(vpp, 2, &signal), 0);
    EXPECT_EQ(signal, SIGNAL_TYPE_CURRENT);
    finishReferencing(0, vpp, Zel1VppModuleGetReferencingState, Zel1VppModuleGetReferencingComplete,
                      Zel1VppModuleAcknowledgeAbsolutePosition);
    segment.withState(0, [](zelsim::ModuleState& s) { s.axes[2].set(5000); });
    unsigned long counts[4] = {};
    EXPECT_EQ(Zel1VppModuleGetCounts(vpp, counts, 4, COUNT_REQUEST_NORMAL), 0);
    EXPECT_EQ(counts[2], 5000u);
    double positions[4] = {};
    EXPECT_EQ(Zel1VppModuleGetPositions(vpp, positions, 4, COUNT_REQUEST_NORMAL), 0);
    EXPECT_DOUBLE_EQ(positions[2], 5000.0) << "a channel without a unit gives its counts";
    ZelModuleDelete(vpp);

    ZelModuleHandle ttl = open(2);
    segment.withState(2, [](zelsim::ModuleState& s) { s.fpgaRevision = 777; });
    const unsigned short channel = 1;
    const ROTARY_FORMAT continuous = ROTARY_FORMAT_CONTINUOUS;
    EXPECT_EQ(ZelTtlModuleSetRotaryFormat(ttl, &channel, &continuous), 0);
    EXPECT_EQ(ZelTtlModuleGetRotaryFormat(ttl, &channel, &format), 0);
    EXPECT_EQ(format, ROTARY_FORMAT_CONTINUOUS);
    EXPECT_EQ(ZelTtlModuleSetLineCount(ttl, 1000, TTL_INTERPOLATION_5, 0), 0);
    EXPECT_EQ(ZelTtlModuleSetSignalPeriod(ttl, 20.0, TTL_INTERPOLATION_10, 1), 0);
    TTL_INTERPOLATION interpolation = TTL_INTERPOLATION_1;
    EXPECT_EQ(ZelTtlModuleGetLineCount(ttl, &lines, &interpolation, 0), 0);
    EXPECT_EQ(lines, 1000u);
    EXPECT_EQ(interpolation, TTL_INTERPOLATION_5);
    double ttlPeriod = 0;
    EXPECT_EQ(ZelTtlModuleGetSignalPeriod(ttl, &ttlPeriod, &interpolation, 1), 0);
    EXPECT_DOUBLE_EQ(ttlPeriod, 20.0);
    EXPECT_EQ(interpolation, TTL_INTERPOLATION_10);
    EXPECT_EQ(ZelTtlModuleSetCountingDirection(ttl, 1, 1), 0);
    EXPECT_EQ(ZelTtlModuleSetChannelPresence(ttl, 0, 1), 0);
    EXPECT_EQ(ZelTtlModuleStartReferencing(ttl, 1, REFERENCE_MARK_SINGLE, 7), 0);
    segment.withState(2, [](zelsim::ModuleState& s) {
        EXPECT_EQ(s.incremental[0].interpolation, TTL_INTERPOLATION_5);
        EXPECT_EQ(s.incremental[1].interpolation, TTL_INTERPOLATION_10);
        EXPECT_EQ(s.incremental[1].direction, 1);
        EXPECT_EQ(s.incremental[0].direction, 0);
        EXPECT_EQ(s.incremental[1].presence, 0);
        EXPECT_EQ(s.incremental[1].markKind, REFERENCE_MARK_SINGLE);
        EXPECT_EQ(s.incremental[1].markParameter, 7);
    });
    unsigned char presence = 9;
    EXPECT_EQ(ZelTtlModuleGetChannelPresence(ttl, &presence, 1), 0);
    EXPECT_EQ(presence, 0);
    unsigned short revision = 0;
    EXPECT_EQ(ZelTtlModuleGetFpgaRevision(ttl, &revision), 0);
    EXPECT_EQ(revision, 777);
    finishReferencing(2, ttl, ZelTtlModuleGetReferencingState, ZelTtlModuleGetReferencingComplete,
                      ZelTtlModuleAcknowledgeReferencing);
    ZelModuleDelete(ttl);
}

TEST_F(CModules, KalixLvdtAnalogAndIoFunctionsReachTheirOwnSettingOrCommand) {
    segment.withState(1, [](zelsim::ModuleState& s) {
        s.kalix[0].present = true;
        s.kalix[0].rotary = true;
        s.kalix[0].measuringStep = 8192;
        s.kalix[0].positionBits = 25;
        s.kalix[0].revolutions = 4096;
        s.kalix[0].id = "ID-77";
        s.kalix[0].serial = "SN-0042";
        s.kalix[0].errors[0] = 1;
        s.kalix[0].warnings[0] = 1;
        s.axes[0].set(1234);
    });
    ZelModuleHandle kalix = open(1);
    short revolutions = 0;
    EXPECT_EQ(ZelKalixModuleGetDistinguishableRevolutions(kalix, &revolutions, 0), 0);
    EXPECT_EQ(revolutions, 4096);
    char text[64] = {};
    EXPECT_EQ(ZelKalixModuleGetEncoderId(kalix, text, 0), 0);
    EXPECT_STREQ(text, "ID-77");
    EXPECT_EQ(ZelKalixModuleGetEncoderSerialNumber(kalix, text, 0), 0);
    EXPECT_STREQ(text, "SN-0042");
    unsigned char flag = 0;
    EXPECT_EQ(ZelKalixModuleGetChannelErrorState(kalix, &flag, 0), 0);
    EXPECT_EQ(flag, 1);
    flag = 0;
    EXPECT_EQ(ZelKalixModuleGetChannelWarningState(kalix, &flag, 0), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(ZelKalixModuleGetChannelErrorState(kalix, &flag, 1), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(ZelKalixModuleGetChannelPresence(kalix, &flag, 0), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(ZelKalixModuleSetUom(kalix, UOM_INCH, 0), 0);
    UOM uom = UOM_NONE;
    EXPECT_EQ(Zel1VppModuleGetUom(kalix, &uom, 0), 0);
    EXPECT_EQ(uom, UOM_INCH);
    unsigned long counts[4] = {};
    long turns[4] = {};
    EXPECT_EQ(ZelKalixModuleGetCounts(kalix, counts, turns, 4, COUNT_REQUEST_NORMAL), 0);
    EXPECT_EQ(counts[0], 1234u);
    EXPECT_EQ(turns[0], 0);
    ZelModuleDelete(kalix);

    ZelModuleHandle lvdt = open(3);
    segment.withState(3, [](zelsim::ModuleState& s) {
        s.lvdt.millivolts[1] = -1234;
        s.lvdt.fpgaRevision = 515;
    });
    EXPECT_EQ(ZelLvdtModuleSetResolution(lvdt, 0.001, 1), 0);
    double value = 0;
    EXPECT_EQ(ZelLvdtModuleGetResolution(lvdt, &value, 1), 0);
    EXPECT_DOUBLE_EQ(value, 0.001);
    EXPECT_EQ(ZelLvdtModuleSetExcitationVoltage(lvdt, 3.0), 0);
    EXPECT_EQ(ZelLvdtModuleSetExcitationFrequency(lvdt, 5.0), 0);
    double volts = 0, kilohertz = 0;
    EXPECT_EQ(ZelLvdtModuleGetExcitationValues(lvdt, &volts, &kilohertz), 0);
    EXPECT_DOUBLE_EQ(volts, 3.0);
    EXPECT_NEAR(kilohertz, 5.0, 0.05);
    long raw = 0;
    EXPECT_EQ(ZelLvdtModuleGetVoltage(lvdt, 1, &volts, &raw), 0);
    EXPECT_DOUBLE_EQ(volts, -1.234);
    EXPECT_EQ(ZelLvdtModuleSetChannelPresence(lvdt, 0, 1), 0);
    EXPECT_EQ(ZelLvdtModuleSetDiagnosticsEnabled(lvdt, LVDT_UPDATE_ON), 0);
    EXPECT_EQ(ZelLvdtModuleSetSensorGain(lvdt, 1, 5), 0);
    EXPECT_EQ(ZelLvdtModuleSetOversampling(lvdt, LVDT_OVERSAMPLING_4), 0);
    segment.withState(3, [](zelsim::ModuleState& s) {
        EXPECT_EQ(s.lvdt.excitationMillivolts, 3000);
        EXPECT_EQ(s.lvdt.presence[1], 0);
        EXPECT_EQ(s.lvdt.presence[0], 1);
        EXPECT_EQ(s.lvdt.diagnostics, LVDT_UPDATE_ON);
        EXPECT_EQ(s.lvdt.gain[1], 5);
        EXPECT_EQ(s.lvdt.oversampling, LVDT_OVERSAMPLING_4);
    });
    unsigned char presence = 9;
    EXPECT_EQ(ZelLvdtModuleGetChannelPresence(lvdt, &presence, 1), 0);
    EXPECT_EQ(presence, 0);
    unsigned char gain = 0;
    EXPECT_EQ(ZelLvdtModuleGetSensorGain(lvdt, 1, &gain), 0);
    EXPECT_EQ(gain, 5);
    EXPECT_EQ(ZelLvdtModuleTeachSensorGain(lvdt, 2), 0);
    unsigned short finished = 0;
    for (int poll = 0; poll < 10 && finished == 0; ++poll) {
        EXPECT_EQ(ZelLvdtModuleGetTeachSensorGainFinished(lvdt, 2, &finished), 0);
    }
    EXPECT_NE(finished, 0);
    EXPECT_EQ(ZelLvdtModuleGetSensorGain(lvdt, 2, &gain), 0);
    EXPECT_EQ(gain, 7) << "what teaching found";
    unsigned short revision = 0;
    EXPECT_EQ(ZelLvdtGetFpgaRevision(lvdt, &revision), 0);
    EXPECT_EQ(revision, 515);
    ZelModuleDelete(lvdt);

    ZelModuleHandle analog = open(4);
    EXPECT_EQ(ZelAnalogModuleSetScaling(analog, 1, 4.0), 0);
    EXPECT_EQ(ZelAnalogModuleSetResolution(analog, 1, 0.5), 0);
    EXPECT_EQ(ZelAnalogModuleSetOffset(analog, 1, -2.0), 0);
    EXPECT_EQ(ZelAnalogModuleGetScaling(analog, 1, &value), 0);
    EXPECT_DOUBLE_EQ(value, 4.0);
    EXPECT_EQ(ZelAnalogModuleGetResolution(analog, 1, &value), 0);
    EXPECT_DOUBLE_EQ(value, 0.5);
    EXPECT_EQ(ZelAnalogModuleGetOffset(analog, 1, &value), 0);
    EXPECT_DOUBLE_EQ(value, -2.0);
    EXPECT_EQ(ZelAnalogModuleGetOffset(analog, 0, &value), 0);
    EXPECT_DOUBLE_EQ(value, 0.0);
    // A reading of 2.0 scales to 0.0, one of 10.0 to 100.0.
    double resolution = 0, offset = 0;
    EXPECT_EQ(ZelAnalogModuleComputeResolutionAndOffset(analog, 0, &resolution, &offset, 100.0, 0.0,
                                                        10.0, 2.0),
              0);
    EXPECT_DOUBLE_EQ(resolution, 12.5);
    EXPECT_DOUBLE_EQ(offset, 25.0);
    EXPECT_EQ(ZelAnalogModuleGetResolution(analog, 0, &value), 0);
    EXPECT_DOUBLE_EQ(value, 12.5);
    double diag[12] = {};
    segment.clearRequests(4);
    EXPECT_EQ(ZelAnalogModuleGetDiagVoltages(analog, diag, 11), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(requests(4), 0u);
    EXPECT_EQ(ZelAnalogModuleGetDiagVoltages(analog, diag, 12), 0);
    EXPECT_EQ(ZelAnalogModuleSetNumSamples(analog, 1, 16), 0);
    segment.withState(4, [](zelsim::ModuleState& s) { EXPECT_EQ(s.analog.samples[1], 16); });
    ZelModuleDelete(analog);

    ZelModuleHandle io = open(5);
    EXPECT_EQ(ZelIoModuleSetOutputs(io, 0x05), 0);
    segment.withState(5, [](zelsim::ModuleState& s) { EXPECT_EQ(s.outputs, 0x05); });
    unsigned char outputs = 0;
    EXPECT_EQ(ZelIoModuleGetOutputs(io, &outputs), 0);
    EXPECT_EQ(outputs, 0x05);
    segment.withState(5, [](zelsim::ModuleState& s) { s.inputs = 0x0A; });
    unsigned char inputs = 0;
    EXPECT_EQ(ZelIoModuleGetIO(io, &inputs, &outputs, COUNT_REQUEST_NORMAL), 0);
    EXPECT_EQ(inputs, 0x0A);
    EXPECT_EQ(outputs, 0x05);
    ZelModuleDelete(io);
}

}  // namespace
