// The simulator's control channel: each command does to a running segment
// what it says, over the wire (a restarted module forgets what it was told
// and is silent, an unplugged one is silent and keeps it), and a command it
// cannot run is refused with its reason and changes nothing.
#include "sim_control.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "modules/zel_ttl_module.h"
#include "sim_segment.h"

namespace {

class SimControl : public ::testing::Test {
  protected:
    void SetUp() override {
        zelsim::ModuleState plain;
        plain.connectFlag = true;
        segment.addModule(10, plain);
        segment.addModule(11, zelsim::ModuleState{});
        ASSERT_TRUE(segment.start());
        const std::string address = "127." + std::to_string(segment.subnet()) + ".0.10";
        ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
        module.setUdpTimeout(100);
        module.setUdpNumRetries(0);
    }
    zelsim::ModuleState state(std::size_t i) {
        zelsim::ModuleState copy;
        segment.withState(i, [&copy](zelsim::ModuleState& s) { copy = s; });
        return copy;
    }
    // Counting direction 1 and the asynchronous port 4000, told over the wire.
    void tellSettings() {
        ASSERT_EQ(module.setCountingDirection(1, 0).getCode(), ZEL_OK);
        const unsigned short port = 4000;
        ASSERT_EQ(module.setAsyncPort(&port).getCode(), ZEL_OK);
    }
    int countsCode() {
        unsigned long counts[4] = {};
        return module.getCounts(counts, 4, COUNT_REQUEST_NORMAL).getCode();
    }

    zelsim::Segment segment;
    ZelTtlModule module;
};

TEST_F(SimControl, RestartForgetsTheSettingsAndIsSilentForItsTime) {
    tellSettings();
    EXPECT_EQ(zelsim::control(segment, "restart 0 300"),
              "ok module 0 restarted, silent for 300 ms");
    EXPECT_EQ(state(0).incremental[0].direction, 0);
    EXPECT_EQ(state(0).asyncPort, 0);
    EXPECT_EQ(countsCode(), ZEL_RESPONSE_TIMEOUT);
    // After its silence it answers, with the port at its default.
    module.setUdpTimeout(1000);
    module.setUdpNumRetries(2);
    unsigned short port = 1;
    ASSERT_EQ(module.getAsyncPort(&port).getCode(), ZEL_OK);
    EXPECT_EQ(port, 0);
    // Its identity and network settings are those of before.
    EXPECT_EQ(state(0).moduleId, zelsim::ModuleState{}.moduleId);
    EXPECT_EQ(state(0).address, "127." + std::to_string(segment.subnet()) + ".0.10");
}

// Back in its bootloader: identity 0 until a reset starts its firmware; with
// broken firmware the reset leaves it there, until an update succeeds.
TEST_F(SimControl, RestartIntoTheBootloaderWaitsForAResetThatStartsTheFirmware) {
    const struct {
        const char* line;
        const char* reply;
        bool startsOnReset;
    } cases[] = {
        {"restart 0 0 bootloader", "ok module 0 restarted, silent for 0 ms, back in its bootloader",
         true},
        {"restart 0 0 broken",
         "ok module 0 restarted, silent for 0 ms, back in its bootloader with broken firmware",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        tellSettings();
        EXPECT_EQ(zelsim::control(segment, c.line), c.reply);
        EXPECT_EQ(state(0).incremental[0].direction, 0);
        MODULE_ID id = MODULE_ID_NONE;
        unsigned long number = 0;
        unsigned char typeByte = 0;
        unsigned short channels = 0;
        ASSERT_EQ(module.getModuleType(&id, &number, &typeByte, &channels).getCode(), ZEL_OK);
        EXPECT_TRUE(ZelModule::isBootloaderModule(id));
        ASSERT_EQ(module.resetZelbus().getCode(), ZEL_OK);
        ASSERT_EQ(module.getModuleType(&id, &number, &typeByte, &channels).getCode(), ZEL_OK);
        EXPECT_EQ(ZelModule::isBootloaderModule(id), !c.startsOnReset);
        // A plain restart keeps a module with broken firmware in its bootloader.
        EXPECT_EQ(zelsim::control(segment, "restart 0 0"),
                  "ok module 0 restarted, silent for 0 ms");
        EXPECT_EQ(state(0).bootloaderOnly, !c.startsOnReset);
        segment.withState(0, [](zelsim::ModuleState& s) {
            s.programming.firmwareStarts = true;
            s.bootloaderOnly = false;
        });
    }
}

TEST_F(SimControl, UnplugIsSilentAndKeepsTheSettingsUntilPlug) {
    tellSettings();
    const std::size_t before = segment.requests(0).size();
    EXPECT_EQ(zelsim::control(segment, "unplug 0"), "ok module 0 unplugged until plug");
    EXPECT_EQ(countsCode(), ZEL_RESPONSE_TIMEOUT);
    // The request never reached the module.
    EXPECT_EQ(segment.requests(0).size(), before);
    // The other module still answers.
    EXPECT_EQ(zelsim::control(segment, "plug 0"), "ok module 0 plugged in");
    unsigned short port = 0;
    ASSERT_EQ(module.getAsyncPort(&port).getCode(), ZEL_OK);
    EXPECT_EQ(port, 4000);
    EXPECT_EQ(state(0).incremental[0].direction, 1);
}

TEST_F(SimControl, UnplugForATimeEndsByItself) {
    EXPECT_EQ(zelsim::control(segment, "unplug 0 200"), "ok module 0 unplugged for 200 ms");
    EXPECT_EQ(countsCode(), ZEL_RESPONSE_TIMEOUT);
    module.setUdpTimeout(500);
    module.setUdpNumRetries(3);
    EXPECT_EQ(countsCode(), ZEL_OK);
}

TEST_F(SimControl, FaultsArmedByLineActOnTheirCommandOnly) {
    EXPECT_EQ(zelsim::control(segment, "fault 0 1 drop=2"),
              "ok fault armed on command 1 of module 0");
    EXPECT_EQ(countsCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_EQ(countsCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_EQ(countsCode(), ZEL_OK);
    EXPECT_EQ(zelsim::control(segment, "fault all 1 type=17"),
              "ok fault armed on command 1 of every module");
    EXPECT_EQ(countsCode(), ZEL_COMMAND_TYPE_MISMATCH);
    unsigned short port = 0;
    EXPECT_EQ(module.getAsyncPort(&port).getCode(), ZEL_OK);  // command 13 untouched
    EXPECT_EQ(zelsim::control(segment, "clear 0 1"), "ok faults cleared on module 0");
    EXPECT_EQ(countsCode(), ZEL_OK);
}

TEST_F(SimControl, EveryFaultKeyReachesTheFault) {
    struct Case {
        const char* keys;
        std::function<bool(const zelsim::Fault&)> holds;
    };
    const Case cases[] = {
        {"drop=always", [](const zelsim::Fault& f) { return f.drop == -1; }},
        {"delay=7 delay-us=30",
         [](const zelsim::Fault& f) { return f.delayMs == 7 && f.delayUs == 30; }},
        {"late=900", [](const zelsim::Fault& f) { return f.delayMs == 900; }},
        {"duplicate=50",
         [](const zelsim::Fault& f) { return f.duplicate && f.duplicateGapUs == 50; }},
        {"duplicate-every=3",
         [](const zelsim::Fault& f) { return f.duplicate && f.duplicateEvery == 3; }},
        {"truncate=2 oversize=300",
         [](const zelsim::Fault& f) { return f.truncate == 2 && f.oversize == 300; }},
        {"type=17 count=3 length=9",
         [](const zelsim::Fault& f) {
             return f.type == 17 && f.paramCount == 3 && f.paramLength == 9;
         }},
        {"unsolicited=2 foreign=4",
         [](const zelsim::Fault& f) { return f.unsolicited == 2 && f.foreign == 4; }},
        {"stop-after=5 every=2",
         [](const zelsim::Fault& f) { return f.stopAfter == 5 && f.every == 2; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        // The fault is read back through the handler's view: arm it on an
        // unused command and look at it by answering through it.
        ASSERT_EQ(zelsim::control(segment, std::string("fault 1 200 ") + c.keys),
                  "ok fault armed on command 200 of module 1");
        zelsim::Fault seen;
        ASSERT_TRUE(segment.fault(1, 200, &seen));
        EXPECT_TRUE(c.holds(seen));
    }
}

TEST_F(SimControl, RefusesWhatItCannotRunAndChangesNothing) {
    const struct {
        const char* line;
        const char* reply;
    } cases[] = {
        {"", "error: empty command"},
        {"reboot 0", "error: unknown command 'reboot' (try help)"},
        {"restart", "error: restart needs a module position"},
        {"restart 2", "error: no module at position '2' (0 to 1)"},
        {"restart 0x", "error: no module at position '0x' (0 to 1)"},
        {"restart 0 5s", "error: '5s' is no time in ms (0 to 3600000)"},
        {"restart 0 5 6",
         "error: restart takes a position and a time at most, then bootloader or broken"},
        {"restart 0 5 sideways",
         "error: restart takes a position and a time at most, then bootloader or broken"},
        {"restart 0 bootloader 5",
         "error: restart takes a position and a time at most, then bootloader or broken"},
        {"unplug 0 -4", "error: '-4' is no time in ms (0 to 3600000)"},
        {"plug 0 1", "error: plug takes a position only"},
        {"fault 0", "error: fault needs a command code"},
        {"fault 0 256 drop=1", "error: '256' is no command code (0 to 255)"},
        {"fault 0 1", "error: fault needs at least one key (try help)"},
        {"fault 0 1 drop=0", "error: 'drop=0': drop takes a count or always"},
        {"fault 0 1 delay=1x", "error: 'delay=1x': delay takes 0 to 600000 ms"},
        {"fault 0 1 drop=1 wobble=2", "error: unknown fault key 'wobble'"},
        {"clear 0 1 2", "error: clear takes a position and a command at most"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(zelsim::control(segment, c.line), c.reply);
    }
    // Nothing was armed: the module answers counts as before.
    EXPECT_EQ(countsCode(), ZEL_OK);
    EXPECT_EQ(segment.requests(0).back().bytes[0], 1);
}

TEST_F(SimControl, ModulesListsThePositions) {
    const std::string n = std::to_string(segment.subnet());
    EXPECT_EQ(zelsim::control(segment, "modules"),
              "ok 2 modules 0=127." + n + ".0.10 1=127." + n + ".0.11");
}

}  // namespace
