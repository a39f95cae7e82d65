// The programming procedure against a simulated module with a bootloader
// side: which variant is chosen for which versions, what reaches the module
// byte for byte, the progress another thread sees, and the module's new
// version afterwards. The decision cases run on a clock thirty times faster
// than the wall (the procedure's 2, 5 and 8 s waits shrink, exchange
// time-outs stay real); the end-to-end updates run on the real clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "fast_clock.h"
#include "image_builder.h"
#include "modules/zel_module.h"
#include "platform/clock.h"
#include "sim_segment.h"

namespace {

namespace fs = std::filesystem;

struct Versions {
    zelsim::Version bootloader;
    zelsim::Version firmware;
};

class Programming : public ::testing::Test {
  protected:
    void TearDown() override { fs::remove_all(dir); }
    // A module of the identity with these versions, initialised.
    void start(std::uint32_t id, const Versions& v, bool fast = true) {
        zelsim::ModuleState s;
        s.moduleId = id;
        s.bootloaderVersion = v.bootloader;
        s.firmwareVersion = v.firmware;
        // Shorter than the procedure's 5 s and 8 s waits on either clock.
        s.programming.rebootMs = fast ? 100 : 1500;
        s.programming.returnMs = fast ? 100 : 2500;
        segment.addModule(10, s);
        ASSERT_TRUE(segment.start());
        if (fast) module.setClock(&clock);
        address = "127." + std::to_string(segment.subnet()) + ".0.10";
        ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
        fs::create_directories(dir);
    }
    std::string write(const std::string& name, const std::string& text) {
        const std::string path = (dir / name).string();
        EXPECT_TRUE(zelimage::writeFile(path, text));
        return path;
    }
    zelsim::ProgrammingState programmed() {
        zelsim::ProgrammingState p;
        segment.withState(0, [&p](zelsim::ModuleState& s) { p = s.programming; });
        return p;
    }
    int resets() {
        int n = 0;
        segment.withState(0, [&n](zelsim::ModuleState& s) { n = s.resets; });
        return n;
    }
    std::string firmwareReported() {
        EXPECT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
        return module.getModuleData().firmwareVersion;
    }

    fs::path dir = fs::temp_directory_path() /
                   ("zelprog-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    zelsim::FastClock clock{30};
    zelsim::Segment segment;
    std::string address;
    ZelModule module;
};

const Versions kNewModule{{1, 0, 3, 0, 0}, {1, 0, 5, 0, 0}};

TEST_F(Programming, Class1FirmwareWithANewBootloaderIsSentAfterAReset) {
    start(ZEL_4105_01, kNewModule);
    const zelimage::Image image = zelimage::firmwareImage("1.0.3", 1, 2048);
    const std::string file =
        write("fw.dat", zelimage::buildFile({image, zelimage::firmwareImage("1.0.0", 2)}));

    // Another thread reads state and progress while the transfer runs: the
    // simulator's, each time a programming request reaches the module, so
    // at moments the procedure is surely in whatever the scheduler does.
    std::map<int, zelsim::Handler> own;
    zelsim::addProgrammingHandlers(own);
    std::set<int> initStates;
    std::set<int> lineStates;
    double midway = -1.0;
    using zelsim::Bytes;
    segment.setHandler(0, 28, [&, init = own[28]](zelsim::ModuleState& s, const Bytes& request) {
        initStates.insert(module.getProgrammingState());
        return init(s, request);
    });
    segment.setHandler(0, 29, [&, line = own[29]](zelsim::ModuleState& s, const Bytes& request) {
        lineStates.insert(module.getProgrammingState());
        const double percent = module.getProgrammingPercentComplete();
        if (percent > 0.0 && percent < 100.0) midway = percent;
        return line(s, request);
    });
    ZelResults r = module.program(file.c_str(), false);
    ASSERT_EQ(r.getCode(), ZEL_OK) << r.getMethod();
    EXPECT_EQ(module.getProgrammingState(), PROGRAMMING_COMPLETE);
    // The handlers ran under the segment's lock.
    segment.withState(0, [&](zelsim::ModuleState&) {
        EXPECT_EQ(initStates, std::set<int>{PROGRAMMING_PREPARING});
        EXPECT_EQ(lineStates, std::set<int>{PROGRAMMING_SENDING});
        EXPECT_GT(midway, 0.0);
    });
    EXPECT_DOUBLE_EQ(module.getProgrammingPercentComplete(), 100.0);

    const zelsim::ProgrammingState p = programmed();
    EXPECT_EQ(p.choices, (std::vector<int>{PROGRAM_CHOICE_FIRMWARE, PROGRAM_CHOICE_FIRMWARE_NEW}));
    EXPECT_EQ(p.checksums, (std::vector<std::uint32_t>{0, zelimage::dataChecksum(image.records)}));
    EXPECT_EQ(resets(), 1);
    EXPECT_EQ(p.lines, image.records) << "every data line arrived as it stands in the file";
    EXPECT_EQ(p.badRecords, 0);
    EXPECT_EQ(firmwareReported(), "1.0.3");
    // Both versions new: the procedure marks FRAM field 6 with the identity.
    bool marked = false;
    segment.withState(
        0, [&marked](zelsim::ModuleState& s) { marked = s.fram.count(6) && s.fram[6].empty(); });
    EXPECT_TRUE(marked);
}

TEST_F(Programming, TheImageVersionMustSuitTheModule) {
    start(ZEL_4105_01, kNewModule);
    // 1.0.2 is too old for a module whose bootloader is new.
    const std::string old =
        write("old.dat", zelimage::buildFile({zelimage::firmwareImage("1.0.2", 1),
                                              zelimage::firmwareImage("1.0.0", 2)}));
    EXPECT_EQ(module.program(old.c_str(), false).getCode(), ZEL_FIRMWARE_REVISION_INVALID);
    EXPECT_EQ(module.getProgrammingState(), PROGRAMMING_FAILED);
    EXPECT_TRUE(programmed().choices.empty()) << "refused before programming mode";

    // A bootloader image in a firmware update is refused by the file check.
    const std::string bootloader =
        write("bl.dat", zelimage::buildFile({zelimage::bootloaderImage("1.0.4")}));
    EXPECT_EQ(module.program(bootloader.c_str(), false).getCode(), ZEL_IMAGE_INVALID);
    EXPECT_EQ(module.program(nullptr, false).getCode(), ZEL_NULL_POINTER);

    // A bootloader image older than the module's new bootloader, under a new firmware.
    const std::string oldBootloader =
        write("bl-old.dat", zelimage::buildFile({zelimage::bootloaderImage("1.0.2")}));
    EXPECT_EQ(module.program(oldBootloader.c_str(), true).getCode(), ZEL_FIRMWARE_REVISION_INVALID);
    EXPECT_TRUE(programmed().choices.empty());

    // A firmware that reports its version as text: "1.0.2" is old, so the
    // bootloader goes in without a reset (read as bytes, '1' would be 49: new).
    segment.withState(0, [](zelsim::ModuleState& s) { s.firmwareText = "1.0.2"; });
    EXPECT_EQ(module.program(bootloader.c_str(), true).getCode(), ZEL_OK);
    EXPECT_EQ(programmed().choices, (std::vector<int>{PROGRAM_CHOICE_BOOTLOADER}));
    EXPECT_EQ(resets(), 0);
}

TEST_F(Programming, Class2ModulesTakeTheSecondImage) {
    start(ZEL_4113_01, kNewModule);
    const zelimage::Image p2 = zelimage::firmwareImage("1.0.0", 2, 700);
    const std::string file =
        write("fw.dat", zelimage::buildFile({zelimage::firmwareImage("3.0.0", 1), p2}));
    ASSERT_EQ(module.program(file.c_str(), false).getCode(), ZEL_OK);
    const zelsim::ProgrammingState p = programmed();
    EXPECT_EQ(p.checksums.back(), zelimage::dataChecksum(p2.records));
    EXPECT_EQ(p.lines, p2.records);
    EXPECT_EQ(firmwareReported(), "1.0.0");

    // 0.9.0 is not new for the class 2 firmware.
    const std::string old =
        write("old.dat", zelimage::buildFile({zelimage::firmwareImage("3.0.0", 1),
                                              zelimage::firmwareImage("0.9.0", 2)}));
    EXPECT_EQ(module.program(old.c_str(), false).getCode(), ZEL_FIRMWARE_REVISION_INVALID);
}

TEST_F(Programming, BootloaderUnderANewFirmwareIsReinstalledWithoutAReset) {
    start(ZEL_4105_01, {{1, 0, 2, 0, 0}, {1, 0, 5, 0, 0}});
    zelsim::Fault refuseFinish;
    refuseFinish.type = 17;
    segment.setFault(0, UDP_CMD_PROGRAM_FINISHED, refuseFinish);
    const std::string file =
        write("bl.dat", zelimage::buildFile({zelimage::bootloaderImage("1.0.4")}));
    EXPECT_EQ(module.program(file.c_str(), true).getCode(), ZEL_OK)
        << "whatever the finish answered";
    const zelsim::ProgrammingState p = programmed();
    EXPECT_EQ(p.choices,
              (std::vector<int>{PROGRAM_CHOICE_BOOTLOADER, PROGRAM_CHOICE_BOOTLOADER_NEW}));
    EXPECT_EQ(resets(), 0);
    EXPECT_EQ(p.reinstalls, 1);
}

TEST_F(Programming, ABootloaderNeedsAFirmwareAndDhcpBlocksEverything) {
    start(ZEL_4105_01, kNewModule);
    segment.withState(0, [](zelsim::ModuleState& s) { s.bootloaderOnly = true; });
    const std::string file =
        write("bl.dat", zelimage::buildFile({zelimage::bootloaderImage("1.0.4")}));
    EXPECT_EQ(module.program(file.c_str(), true).getCode(), ZEL_FIRMWARE_NOT_LOADED);

    segment.withState(0, [](zelsim::ModuleState& s) {
        s.bootloaderOnly = false;
        s.dhcp = true;
    });
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    segment.clearRequests(0);
    EXPECT_EQ(module.program(file.c_str(), true).getCode(), ZEL_DHCP_BLOCKS_PROGRAMMING);
    EXPECT_TRUE(segment.requests(0).empty());
}

TEST_F(Programming, LongLinesAreSkippedAndAModuleThatNeverReturnsTimesOut) {
    start(ZEL_4105_01, kNewModule);
    zelimage::Image image = zelimage::firmwareImage("1.0.3", 1, 64);
    std::string text = zelimage::buildFile({image, zelimage::firmwareImage("1.0.0", 2)});
    // A line of 201 bytes (LF included) inside the first data section.
    const std::string start = "ZEL_DATA_START: ZELfirmware.elf.S19\n";
    text.insert(text.find(start) + start.size(), std::string(200, 'x') + "\n");
    text = zelimage::withFinalChecksum(text.substr(0, text.find("ZEL_FINAL_CHECKSUM")));
    const std::string file = write("fw.dat", text);
    segment.withState(0, [](zelsim::ModuleState& s) { s.programming.neverReturns = true; });

    ZelResults r = module.program(file.c_str(), false);
    EXPECT_EQ(r.getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_STREQ(r.getMethod(), "ZelProgramming::program");
    EXPECT_EQ(module.getProgrammingState(), PROGRAMMING_FAILED) << "4 in the engine, then 5";
    EXPECT_EQ(programmed().lines, image.records) << "the long line was not sent";
    EXPECT_DOUBLE_EQ(module.getProgrammingPercentComplete(), 100.0) << "and not counted";
}

// ---- The procedure on the wire ------------------------------------------------

// A clock whose seconds are made of its pauses (each slept for a thirtieth
// of its length) and of the real time between them, noting for every pause
// the last command the module had received by then: the procedure's fixed
// waits show up as runs of pauses behind the command they follow.
class WaitRecordingClock : public zel::platform::Clock {
  public:
    explicit WaitRecordingClock(zelsim::Segment& segment) : segment_(segment) {}
    void sleepMs(unsigned long ms) const override {
        advance();
        const auto seen = segment_.requests(0);
        const int last = seen.empty() ? -1 : seen.back().bytes[0];
        if (waits.empty() || waits.back().after != last) waits.push_back({last, 0});
        waits.back().ms += ms;
        Clock::sleepMs(ms / 30);
        virtualUs_ += static_cast<long long>(ms) * 1000;
        lastRealUs_ = zel::platform::monotonicMicroseconds();
    }
    long long wallSeconds() const override {
        advance();
        return virtualUs_ / 1000000;
    }
    struct Wait {
        int after;  // the command last received before it, -1 for none
        unsigned long ms;
    };
    mutable std::vector<Wait> waits;

  private:
    void advance() const {
        const long long now = zel::platform::monotonicMicroseconds();
        virtualUs_ += now - lastRealUs_;
        lastRealUs_ = now;
    }
    zelsim::Segment& segment_;
    mutable long long virtualUs_ = 0;
    mutable long long lastRealUs_ = zel::platform::monotonicMicroseconds();
};

// The commands of a log, each run of one command as one entry.
std::vector<int> commandRuns(const std::vector<zelsim::Request>& log) {
    std::vector<int> runs;
    for (const auto& r : log) {
        if (runs.empty() || runs.back() != r.bytes[0]) runs.push_back(r.bytes[0]);
    }
    return runs;
}

TEST_F(Programming, TheWholeSequenceWithItsWaits) {
    start(ZEL_4105_01, kNewModule);
    WaitRecordingClock waits(segment);
    module.setClock(&waits);
    segment.clearRequests(0);
    const std::string file =
        write("fw.dat", zelimage::buildFile({zelimage::firmwareImage("1.0.3", 1, 300),
                                             zelimage::firmwareImage("1.0.0", 2)}));
    ASSERT_EQ(module.program(file.c_str(), false).getCode(), ZEL_OK);
    // Identity from FRAM, versions, init, reset, reboot check, init again,
    // the data lines, finish, return check, the FRAM mark, reconnect.
    EXPECT_EQ(commandRuns(segment.requests(0)),
              (std::vector<int>{24, 7, 28, 3, 10, 28, 29, 30, 7, 24, 0}));
    // 2 s before anything is sent, 5 s after the reset, 8 s after the finish
    // (besides them only the quarter-second flushes of the receive queue
    // after the reboot and the return check).
    std::vector<WaitRecordingClock::Wait> fixed;
    for (const auto& w : waits.waits) {
        if (w.ms >= 500) {
            fixed.push_back(w);
        } else {
            EXPECT_TRUE(w.after == UDP_CMD_GET_MODULE_TYPE || w.after == UDP_CMD_GET_CONFIG)
                << w.after;
        }
    }
    waits.waits = fixed;
    ASSERT_EQ(waits.waits.size(), 3u);
    const int after[] = {-1, UDP_CMD_RESET, UDP_CMD_PROGRAM_FINISHED};
    const unsigned long seconds[] = {2, 5, 8};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(waits.waits[i].after, after[i]);
        // Whole seconds of the clock: from a fraction into one, up to one
        // more; the real time between pauses counts too.
        EXPECT_GE(waits.waits[i].ms + 500, seconds[i] * 1000);
        EXPECT_LE(waits.waits[i].ms, (seconds[i] + 1) * 1000);
    }

    // A bootloader under an old firmware: no reset, no reboot wait.
    segment.withState(0, [](zelsim::ModuleState& s) { s.firmwareVersion = {1, 0, 2, 0, 0}; });
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    segment.clearRequests(0);
    waits.waits.clear();
    const std::string bootloader =
        write("bl.dat", zelimage::buildFile({zelimage::bootloaderImage("1.0.9", 40)}));
    ASSERT_EQ(module.program(bootloader.c_str(), true).getCode(), ZEL_OK);
    EXPECT_EQ(commandRuns(segment.requests(0)), (std::vector<int>{24, 7, 28, 29, 30, 7, 0}));
    std::vector<int> longWaits;
    for (const auto& w : waits.waits) {
        if (w.ms >= 500) longWaits.push_back(w.after);
    }
    EXPECT_EQ(longWaits, (std::vector<int>{-1, UDP_CMD_PROGRAM_FINISHED}));
}

TEST_F(Programming, FailuresStopTheProcedureWhereTheyHappen) {
    start(ZEL_4105_01, kNewModule);
    const std::string file =
        write("fw.dat", zelimage::buildFile({zelimage::firmwareImage("1.0.3", 1, 300),
                                             zelimage::firmwareImage("1.0.0", 2)}));
    // An identity of no programming class: code 3 before programming mode.
    zelsim::Bytes identity;
    segment.withState(0, [&identity](zelsim::ModuleState& s) {
        identity = s.fram[2];
        s.fram[2] = zelsim::Bytes{0, 0, 0, 0};
    });
    segment.clearRequests(0);
    EXPECT_EQ(module.program(file.c_str(), false).getCode(), ZEL_MODULE_NUMBER_INVALID);
    EXPECT_EQ(commandRuns(segment.requests(0)), (std::vector<int>{24}));
    EXPECT_EQ(module.getProgrammingState(), PROGRAMMING_FAILED);
    segment.withState(0, [&identity](zelsim::ModuleState& s) { s.fram[2] = identity; });

    // A data line the bootloader refuses ends the transfer there: the lines
    // after it are not sent, and the procedure goes on to the finish.
    segment.withState(0, [](zelsim::ModuleState& s) { s.programming.rejectLine = 3; });
    segment.clearRequests(0);
    EXPECT_EQ(module.program(file.c_str(), false).code(), ZEL_COMMAND_TYPE_MISMATCH)
        << "the refusal is a negative answer where a data answer was due";
    int lines = 0;
    for (const auto& r : segment.requests(0)) lines += r.bytes[0] == UDP_CMD_PROGRAM_DATA;
    EXPECT_EQ(lines, 4) << "up to and including the refused one";
    EXPECT_EQ(commandRuns(segment.requests(0)).back(), 0) << "finished and reconnected";

    // A module that never comes back from the reset: the reboot check gives
    // up with 1 and nothing is sent after it (one 10 s check on this clock).
    segment.withState(0, [](zelsim::ModuleState& s) {
        s.programming.rejectLine = -1;
        s.programming.rebootMs = 600000;
        s.bootloaderOnly = false;
    });
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    segment.clearRequests(0);
    EXPECT_EQ(module.program(file.c_str(), false).getCode(), ZEL_RESPONSE_TIMEOUT);
    EXPECT_EQ(commandRuns(segment.requests(0)), (std::vector<int>{24, 7, 28, 3, 10}));
}

// ---- End to end, on the real clock -------------------------------------------

TEST_F(Programming, EndToEndFirmwareUpdateOfAClass1Module) {
    start(ZEL_4101_01, kNewModule, false);
    const zelimage::Image image = zelimage::firmwareImage("2.5.0", 1, 1024);
    const std::string file =
        write("fw.dat", zelimage::buildFile({image, zelimage::firmwareImage("1.0.0", 2)}));
    ASSERT_EQ(module.program(file.c_str(), false).getCode(), ZEL_OK);
    EXPECT_EQ(programmed().lines, image.records);
    EXPECT_EQ(firmwareReported(), "2.5.0");
}

TEST_F(Programming, EndToEndFirmwareUpdateOfAClass2Module) {
    start(ZEL_4116_01, kNewModule, false);
    const zelimage::Image image = zelimage::firmwareImage("1.2.0", 2, 1024);
    const std::string file =
        write("fw.dat", zelimage::buildFile({zelimage::firmwareImage("2.5.0", 1), image}));
    ASSERT_EQ(module.program(file.c_str(), false).getCode(), ZEL_OK);
    EXPECT_EQ(programmed().lines, image.records);
    EXPECT_EQ(firmwareReported(), "1.2.0");
}

TEST_F(Programming, EndToEndBootloaderUpdate) {
    start(ZEL_4107_01, kNewModule, false);
    const zelimage::Image image = zelimage::bootloaderImage("1.1.0", 1024);
    const std::string file = write("bl.dat", zelimage::buildFile({image}));
    ASSERT_EQ(module.program(file.c_str(), true).getCode(), ZEL_OK);
    const zelsim::ProgrammingState p = programmed();
    EXPECT_EQ(p.choices,
              (std::vector<int>{PROGRAM_CHOICE_BOOTLOADER, PROGRAM_CHOICE_BOOTLOADER_NEW}));
    EXPECT_EQ(p.lines, image.records);
    ASSERT_EQ(module.initializeModule(address.c_str(), false).getCode(), ZEL_OK);
    EXPECT_STREQ(module.getModuleData().bootloaderVersion, "1.1.0");
}

}  // namespace
