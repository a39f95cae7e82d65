// The module families of the C interface, used as a C host uses them: only
// the C header, handles, and the simulator on the other end of the socket.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
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

// The kind functions, one row each: a wrapper wired to a neighbour's method,
// channel or argument fails here. Rows of one module run in order on one
// handle.
using Handle = ZelModuleHandle;
using State = zelsim::ModuleState;
using Call = std::function<int(Handle)>;
using Read = std::function<int(Handle, double*)>;

// The C function with these arguments after the handle.
template <class... P, class... A>
Call call(int(ZEL_CALL* f)(Handle, P...), A... a) {
    return [=](Handle h) { return f(h, static_cast<P>(a)...); };
}
// A getter of one value: f(h, &value, channel), f(h, channel, &value) or f(h, &value).
template <class T, class C, class I>
Read value(int(ZEL_CALL* f)(Handle, T*, C), I channel) {
    return [=](Handle h, double* v) {
        T t{};
        const int r = f(h, &t, static_cast<C>(channel));
        *v = static_cast<double>(t);
        return r;
    };
}
template <class T, class C, class I>
Read value(int(ZEL_CALL* f)(Handle, C, T*), I channel) {
    return [=](Handle h, double* v) {
        T t{};
        const int r = f(h, static_cast<C>(channel), &t);
        *v = static_cast<double>(t);
        return r;
    };
}
template <class T>
Read value(int(ZEL_CALL* f)(Handle, T*)) {
    return [=](Handle h, double* v) {
        T t{};
        const int r = f(h, &t);
        *v = static_cast<double>(t);
        return r;
    };
}

// A setting the object keeps: no request reaches the module.
struct KeptSetting {
    std::size_t module;  // index into kKinds
    const char* what;
    Call set;  // empty: read back only
    Read get;
    double expected;
};

const KeptSetting kKeptSettings[] = {
    {0, "error compensation", call(Zel1VppModuleSetErrorCompensation, 12.5, 1),
     value(Zel1VppModuleGetErrorCompensation, 1), 12.5},
    {0, "scaling", call(Zel1VppModuleSetScaling, 2.0, 1), value(Zel1VppModuleGetScaling, 1), 2.0},
    {0, "device offset", call(Zel1VppModuleSetDeviceOffset, 1, 3.25),
     value(Zel1VppModuleGetDeviceOffset, 1), 3.25},
    {0, "device offset of channel 2", nullptr, value(Zel1VppModuleGetDeviceOffset, 2), 0.0},
    {0, "rotary format", call(Zel1VppModuleSetRotaryFormat, 1, ROTARY_FORMAT_PLUS_MINUS_180),
     value(Zel1VppModuleGetRotaryFormat, 1), ROTARY_FORMAT_PLUS_MINUS_180},
    {0, "encoder type", call(Zel1VppModuleSetEncoderType, ENCODER_TYPE_ROTARY, 1),
     value(Zel1VppModuleGetEncoderType, 1), ENCODER_TYPE_ROTARY},
    {0, "unit", call(Zel1VppModuleSetUom, UOM_DEGREE, 1), value(Zel1VppModuleGetUom, 1),
     UOM_DEGREE},
    {0, "counting direction", call(Zel1VppModuleSetCountingDirection, true, 1),
     value(Zel1VppModuleGetCountingDirection, 1), 1},
    {0, "resolution by the line count", call(Zel1VppModuleSetLineCount, 2048, 1),
     value(Zel1VppModuleGetResolution, 1), 360.0 / (2048.0 * 4096.0)},
    {0, "resolution by the signal period", call(Zel1VppModuleSetSignalPeriod, 20, 1),
     value(Zel1VppModuleGetResolution, 1), 20 / 1000.0 * 0.25 / 1024},
    {0, "line count", nullptr, value(Zel1VppModuleGetLineCount, 1), 2048},
    {0, "signal period", nullptr, value(Zel1VppModuleGetSignalPeriod, 1), 20},
    {1, "unit by the Kalix name, read by the 1 Vpp one", call(ZelKalixModuleSetUom, UOM_INCH, 0),
     value(Zel1VppModuleGetUom, 0), UOM_INCH},
    {2, "rotary format by pointers",
     [](Handle h) {
         const unsigned short channel = 1;
         const ROTARY_FORMAT format = ROTARY_FORMAT_CONTINUOUS;
         return ZelTtlModuleSetRotaryFormat(h, &channel, &format);
     },
     [](Handle h, double* v) {
         const unsigned short channel = 1;
         ROTARY_FORMAT format = ROTARY_FORMAT_NONE;
         const int r = ZelTtlModuleGetRotaryFormat(h, &channel, &format);
         *v = format;
         return r;
     },
     ROTARY_FORMAT_CONTINUOUS},
    {3, "resolution", call(ZelLvdtModuleSetResolution, 0.001, 1),
     value(ZelLvdtModuleGetResolution, 1), 0.001},
    {4, "scaling", call(ZelAnalogModuleSetScaling, 1, 4.0), value(ZelAnalogModuleGetScaling, 1),
     4.0},
    {4, "resolution", call(ZelAnalogModuleSetResolution, 1, 0.5),
     value(ZelAnalogModuleGetResolution, 1), 0.5},
    {4, "offset", call(ZelAnalogModuleSetOffset, 1, -2.0), value(ZelAnalogModuleGetOffset, 1),
     -2.0},
    {4, "offset of channel 0", nullptr, value(ZelAnalogModuleGetOffset, 0), 0.0},
    // A reading of 2.0 scales to 0.0, one of 10.0 to 100.0.
    {4, "resolution from two points",
     [](Handle h) {
         double resolution = 0, offset = 0;
         const int r = ZelAnalogModuleComputeResolutionAndOffset(h, 0, &resolution, &offset, 100.0,
                                                                 0.0, 10.0, 2.0);
         EXPECT_EQ(offset, 25.0);
         return r;
     },
     value(ZelAnalogModuleGetResolution, 0), 12.5},
};

// A command lands in the module's own field; a value the module holds reads
// back through the kind's own getter. Either part of a row may be empty.
struct Exchange {
    std::size_t module;
    const char* what;
    Call send;
    void (*prepare)(State&);
    double (*field)(const State&);  // what send changed
    Read read;                      // what prepare set
    double expected;
};

const Exchange kExchanges[] = {
    {0, "error checking", call(Zel1VppModuleEnableErrorChecking, true, 1), nullptr,
     [](const State& s) { return s.errorChecking[1] * 1.0 + s.errorChecking[0] * 10.0; }, nullptr,
     1},
    {0, "latch", call(Zel1VppModuleSetLatch, LATCH_SET, LATCH_CHOICE_2), nullptr,
     [](const State& s) { return s.latchOption * 10.0 + s.latchChoice; }, nullptr,
     LATCH_SET * 10.0 + LATCH_CHOICE_2},
    {0, "latch debouncing", call(Zel1VppModuleSetLatchDebouncing, 1, 300), nullptr,
     [](const State& s) { return s.debounceTime[1] * 1.0; }, nullptr, 300},
    {0, "analog diagnostics", call(Zel1VppModuleEnableAnalogDiag, true, 1), nullptr,
     [](const State& s) { return s.incremental[1].analogDiag * 1.0; }, nullptr, 1},
    {0, "signal type", call(Zel1VppSetSignalType, 1, SIGNAL_TYPE_CURRENT), nullptr,
     [](const State& s) { return s.incremental[1].signalType * 1.0; },
     value(Zel1VppGetSignalType, 1), SIGNAL_TYPE_CURRENT},
    {0, "referencing", call(Zel1VppModuleStartReferencing, 1, REFERENCE_MARK_DISTANCE_CODED, 1000),
     nullptr,
     [](const State& s) {
         return s.incremental[1].markKind * 1e4 + s.incremental[1].markParameter;
     },
     nullptr, REFERENCE_MARK_DISTANCE_CODED * 1e4 + 1000},
    {0, "detected signal type", nullptr, [](State& s) { s.incremental[2].detectedSignalType = 1; },
     nullptr, value(Zel1VppDetectSignalType, 2), SIGNAL_TYPE_CURRENT},
    {0, "channel status", nullptr, [](State& s) { s.channelStatus[1] = 0x41; }, nullptr,
     value(Zel1VppModuleGetChannelStatus, 1), 0x41},
    {0, "counts", nullptr, [](State& s) { s.axes[2].set(5000); }, nullptr,
     [](Handle h, double* v) {
         unsigned long counts[4] = {};
         const int r = Zel1VppModuleGetCounts(h, counts, 4, COUNT_REQUEST_NORMAL);
         *v = static_cast<double>(counts[2]);
         return r;
     },
     5000},
    {0, "positions of a channel without a unit: its counts", nullptr, nullptr, nullptr,
     [](Handle h, double* v) {
         double positions[4] = {};
         const int r = Zel1VppModuleGetPositions(h, positions, 4, COUNT_REQUEST_NORMAL);
         *v = positions[2];
         return r;
     },
     5000},
    {0, "latches: the four extra inputs are a base module's", nullptr,
     [](State& s) {
         s.latch = {1, 0, 1, 0, 1};
     },
     nullptr,
     [](Handle h, double* v) {
         unsigned char l[5] = {};
         const int r = Zel1VppModuleGetLatches(h, l, 5);
         *v = l[0] + 10.0 * (l[1] + l[2] + l[3] + l[4]);
         return r;
     },
     1},
    {1, "distinguishable revolutions", nullptr, nullptr, nullptr,
     value(ZelKalixModuleGetDistinguishableRevolutions, 0), 4096},
    {1, "error state", nullptr, nullptr, nullptr, value(ZelKalixModuleGetChannelErrorState, 0), 1},
    {1, "error state of channel 1", nullptr, nullptr, nullptr,
     value(ZelKalixModuleGetChannelErrorState, 1), 0},
    {1, "warning state", nullptr, nullptr, nullptr, value(ZelKalixModuleGetChannelWarningState, 0),
     1},
    {1, "presence", nullptr, nullptr, nullptr, value(ZelKalixModuleGetChannelPresence, 0), 1},
    {1, "counts and turns", nullptr, nullptr, nullptr,
     [](Handle h, double* v) {
         unsigned long counts[4] = {};
         long turns[4] = {9, 9, 9, 9};
         const int r = ZelKalixModuleGetCounts(h, counts, turns, 4, COUNT_REQUEST_NORMAL);
         *v = static_cast<double>(counts[0]) + 1e6 * static_cast<double>(turns[0]);
         return r;
     },
     1234},
    {2, "interpolation of the line count",
     call(ZelTtlModuleSetLineCount, 1000, TTL_INTERPOLATION_5, 0), nullptr,
     [](const State& s) { return s.incremental[0].interpolation * 1.0; },
     [](Handle h, double* v) {
         unsigned long lines = 0;
         TTL_INTERPOLATION i{};
         const int r = ZelTtlModuleGetLineCount(h, &lines, &i, 0);
         *v = i;
         return r;
     },
     TTL_INTERPOLATION_5},
    {2, "line count", nullptr, nullptr, nullptr,
     [](Handle h, double* v) {
         unsigned long lines = 0;
         TTL_INTERPOLATION i{};
         const int r = ZelTtlModuleGetLineCount(h, &lines, &i, 0);
         *v = static_cast<double>(lines);
         return r;
     },
     1000},
    {2, "interpolation of the signal period",
     call(ZelTtlModuleSetSignalPeriod, 20.0, TTL_INTERPOLATION_10, 1), nullptr,
     [](const State& s) { return s.incremental[1].interpolation * 1.0; },
     [](Handle h, double* v) {
         double period = 0;
         TTL_INTERPOLATION i{};
         const int r = ZelTtlModuleGetSignalPeriod(h, &period, &i, 1);
         *v = i;
         return r;
     },
     TTL_INTERPOLATION_10},
    {2, "signal period", nullptr, nullptr, nullptr,
     [](Handle h, double* v) {
         TTL_INTERPOLATION i{};
         return ZelTtlModuleGetSignalPeriod(h, v, &i, 1);
     },
     20.0},
    {2, "counting direction", call(ZelTtlModuleSetCountingDirection, 1, 1), nullptr,
     [](const State& s) {
         return s.incremental[1].direction * 1.0 + s.incremental[0].direction * 10.0;
     },
     nullptr, 1},
    {2, "channel presence", call(ZelTtlModuleSetChannelPresence, 0, 1), nullptr,
     [](const State& s) { return s.incremental[1].presence * 1.0; },
     value(ZelTtlModuleGetChannelPresence, 1), 0},
    {2, "referencing", call(ZelTtlModuleStartReferencing, 1, REFERENCE_MARK_SINGLE, 7), nullptr,
     [](const State& s) {
         return s.incremental[1].markKind * 1e4 + s.incremental[1].markParameter;
     },
     nullptr, REFERENCE_MARK_SINGLE * 1e4 + 7},
    {2, "FPGA revision", nullptr, [](State& s) { s.fpgaRevision = 777; }, nullptr,
     value(ZelTtlModuleGetFpgaRevision), 777},
    {3, "excitation voltage", call(ZelLvdtModuleSetExcitationVoltage, 3.0), nullptr,
     [](const State& s) { return s.lvdt.excitationMillivolts / 1000.0; },
     [](Handle h, double* v) {
         double kilohertz = 0;
         return ZelLvdtModuleGetExcitationValues(h, v, &kilohertz);
     },
     3.0},
    {3, "channel presence", call(ZelLvdtModuleSetChannelPresence, 0, 1), nullptr,
     [](const State& s) { return s.lvdt.presence[1] * 1.0; },
     value(ZelLvdtModuleGetChannelPresence, 1), 0},
    {3, "presence of channel 0", nullptr, nullptr,
     [](const State& s) { return s.lvdt.presence[0] * 1.0; }, nullptr, 1},
    {3, "diagnostics", call(ZelLvdtModuleSetDiagnosticsEnabled, LVDT_UPDATE_ON), nullptr,
     [](const State& s) { return s.lvdt.diagnostics * 1.0; }, nullptr, LVDT_UPDATE_ON},
    {3, "sensor gain", call(ZelLvdtModuleSetSensorGain, 1, 5), nullptr,
     [](const State& s) { return s.lvdt.gain[1] * 1.0; }, value(ZelLvdtModuleGetSensorGain, 1), 5},
    {3, "oversampling", call(ZelLvdtModuleSetOversampling, LVDT_OVERSAMPLING_4), nullptr,
     [](const State& s) { return s.lvdt.oversampling * 1.0; }, nullptr, LVDT_OVERSAMPLING_4},
    {3, "voltage", nullptr, [](State& s) { s.lvdt.millivolts[1] = -1234; }, nullptr,
     [](Handle h, double* v) {
         long raw = 0;
         return ZelLvdtModuleGetVoltage(h, 1, v, &raw);
     },
     -1.234},
    {3, "FPGA revision", nullptr, [](State& s) { s.lvdt.fpgaRevision = 515; }, nullptr,
     value(ZelLvdtGetFpgaRevision), 515},
    {4, "samples", call(ZelAnalogModuleSetNumSamples, 1, 16), nullptr,
     [](const State& s) { return s.analog.samples[1] * 1.0; }, nullptr, 16},
    {5, "outputs", call(ZelIoModuleSetOutputs, 0x05), nullptr,
     [](const State& s) { return s.outputs * 1.0; }, value(ZelIoModuleGetOutputs), 0x05},
    {5, "inputs", nullptr, [](State& s) { s.inputs = 0x0A; }, nullptr,
     [](Handle h, double* v) {
         unsigned char inputs = 0, outputs = 0;
         const int r = ZelIoModuleGetIO(h, &inputs, &outputs, COUNT_REQUEST_NORMAL);
         *v = inputs + 1000.0 * outputs;
         return r;
     },
     0x0A + 1000.0 * 0x05},
};

TEST_F(CModules, KindFunctionsReachTheirOwnSettingOrCommand) {
    // The Kalix module's encoder, read at initialisation.
    segment.withState(1, [](State& s) {
        s.kalix[0].present = true;
        s.kalix[0].rotary = true;
        s.kalix[0].measuringStep = 8192;
        s.kalix[0].positionBits = 25;
        s.kalix[0].revolutions = 4096;
        s.kalix[0].errors[0] = 1;
        s.kalix[0].warnings[0] = 1;
        s.axes[0].set(1234);
    });
    std::vector<Handle> handles(std::size(kKinds), nullptr);
    const auto handle = [&](std::size_t m) {
        if (handles[m] == nullptr) handles[m] = open(m);
        return handles[m];
    };
    for (const KeptSetting& k : kKeptSettings) {
        SCOPED_TRACE(std::string(kKinds[k.module].name) + " " + k.what);
        Handle h = handle(k.module);
        if (k.set) {
            EXPECT_EQ(k.set(h), ZEL_OK);
        }
        double got = -1;
        EXPECT_EQ(k.get(h, &got), ZEL_OK);
        EXPECT_DOUBLE_EQ(got, k.expected);
        EXPECT_EQ(requests(k.module), 0u) << "the object's own setting";
    }
    for (const Exchange& x : kExchanges) {
        SCOPED_TRACE(std::string(kKinds[x.module].name) + " " + x.what);
        Handle h = handle(x.module);
        if (x.send) {
            EXPECT_EQ(x.send(h), ZEL_OK);
        }
        if (x.prepare != nullptr) segment.withState(x.module, x.prepare);
        if (x.field != nullptr) {
            segment.withState(x.module,
                              [&](State& s) { EXPECT_DOUBLE_EQ(x.field(s), x.expected); });
        }
        if (x.read) {
            double got = -1;
            EXPECT_EQ(x.read(h, &got), ZEL_OK);
            EXPECT_DOUBLE_EQ(got, x.expected);
        }
    }
    for (Handle h : handles) ZelModuleDelete(h);
}

// The procedures that take several exchanges, and the text reads.
TEST_F(CModules, KindProceduresAndTexts) {
    segment.withState(1, [](State& s) {
        s.kalix[0].present = true;
        s.kalix[0].id = "ID-77";
        s.kalix[0].serial = "SN-0042";
    });
    Handle kalix = open(1);
    char text[64] = {};
    EXPECT_EQ(ZelKalixModuleGetEncoderId(kalix, text, 0), 0);
    EXPECT_STREQ(text, "ID-77");
    EXPECT_EQ(ZelKalixModuleGetEncoderSerialNumber(kalix, text, 0), 0);
    EXPECT_STREQ(text, "SN-0042");
    ZelModuleDelete(kalix);

    Handle vpp = open(0);
    EXPECT_EQ(Zel1VppModuleStartReferencing(vpp, 1, REFERENCE_MARK_SINGLE, 1), 0);
    finishReferencing(0, vpp, Zel1VppModuleGetReferencingState, Zel1VppModuleGetReferencingComplete,
                      Zel1VppModuleAcknowledgeAbsolutePosition);
    ZelModuleDelete(vpp);
    Handle ttl = open(2);
    EXPECT_EQ(ZelTtlModuleStartReferencing(ttl, 1, REFERENCE_MARK_SINGLE, 7), 0);
    finishReferencing(2, ttl, ZelTtlModuleGetReferencingState, ZelTtlModuleGetReferencingComplete,
                      ZelTtlModuleAcknowledgeReferencing);
    ZelModuleDelete(ttl);

    Handle lvdt = open(3);
    EXPECT_EQ(ZelLvdtModuleSetExcitationFrequency(lvdt, 5.0), 0);
    double volts = 0, kilohertz = 0;
    EXPECT_EQ(ZelLvdtModuleGetExcitationValues(lvdt, &volts, &kilohertz), 0);
    EXPECT_NEAR(kilohertz, 5.0, 0.05);
    EXPECT_EQ(ZelLvdtModuleTeachSensorGain(lvdt, 2), 0);
    unsigned short finished = 0;
    for (int poll = 0; poll < 10 && finished == 0; ++poll) {
        EXPECT_EQ(ZelLvdtModuleGetTeachSensorGainFinished(lvdt, 2, &finished), 0);
    }
    EXPECT_NE(finished, 0);
    unsigned char gain = 0;
    EXPECT_EQ(ZelLvdtModuleGetSensorGain(lvdt, 2, &gain), 0);
    EXPECT_EQ(gain, 7) << "what teaching found";
    ZelModuleDelete(lvdt);

    Handle analog = open(4);
    double diag[12] = {};
    EXPECT_EQ(ZelAnalogModuleGetDiagVoltages(analog, diag, 11), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(requests(4), 0u);
    EXPECT_EQ(ZelAnalogModuleGetDiagVoltages(analog, diag, 12), 0);
    ZelModuleDelete(analog);
}

}  // namespace
