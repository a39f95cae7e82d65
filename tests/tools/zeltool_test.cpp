// zeltool end to end: the tool runs as its own process, against a simulated
// segment held by the test (so the test sees what reached the modules), or
// against its own embedded simulated chain.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "image_builder.h"
#include "sim_chains.h"
#include "tool_runner.h"
#include "transport/zelbus_frame.h"
#include "zel_version.h"

namespace fs = std::filesystem;

namespace {

using tooltest::Outcome;
using tooltest::slurp;

class Zeltool : public ::testing::Test {
  protected:
    void SetUp() override { dir = tooltest::testFolder("zeltool_"); }
    void TearDown() override { fs::remove_all(dir); }

    // Runs zeltool with the arguments (each one quoted) and `input` on stdin.
    Outcome run(const std::vector<std::string>& args, const std::string& input = "") {
        return tooltest::runProgram(ZELTOOL_PATH, dir, args, input);
    }
    // The arguments that aim the tool at the test's own segment.
    std::vector<std::string> at(std::vector<std::string> args) {
        args.insert(args.begin(),
                    {"--local-ip", segment.hostAddress(), "--netmask", zelsim::Segment::kNetmask});
        return args;
    }
    void startDefaultChain() {
        plan = zelsim::defaultChain();
        zelsim::addChain(segment, plan);
        ASSERT_TRUE(segment.start());
    }
    std::string address(int host) const {
        return "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(host);
    }
    static QJsonDocument json(const std::string& text) {
        QJsonParseError error{};
        QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
        return doc;
    }

    fs::path dir;
    zelsim::Segment segment;
    std::vector<zelsim::PlannedModule> plan;
};

TEST_F(Zeltool, ImageAndConfigurationFiles) {
    const std::string image = (dir / "fw.dat").string();
    Outcome r = run({"image", "build", image, "2.4.0"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run({"image", "info", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("image 2: ZELfirmwareP2.elf.S19"), std::string::npos) << r.out;
    r = run({"image", "check", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("firmware, class 2 image 2.4.0: valid"), std::string::npos) << r.out;

    // One data byte changed: the file checksum no longer holds.
    std::string text = slurp(image);
    const std::size_t s1 = text.find("\nS1");
    ASSERT_NE(s1, std::string::npos);
    text[s1 + 12] = text[s1 + 12] == '0' ? '1' : '0';
    std::ofstream(dir / "bad.dat", std::ios::binary) << text;
    r = run({"image", "check", (dir / "bad.dat").string()});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("(code "), std::string::npos) << r.out;
    r = run({"image", "check", (dir / "none.dat").string()});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("cannot be opened"), std::string::npos);

    const std::string examples = std::string(ZEL_EXAMPLES_DIR) + "/config/";
    r = run({"config", "validate", examples + "chain.xml"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("valid, 8 modules"), std::string::npos);
    r = run({"config", "validate", examples + "missing_ttl_interpolation.xml"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("Tag name not found: element Interpolation, module 3, channel 2"),
              std::string::npos)
        << r.out;
    r = run({"config", "validate", examples + "missing_lvdt_frequency.xml"});
    EXPECT_NE(r.out.find("element PrimaryExcitationFrequency, module 4\n"), std::string::npos)
        << r.out;
    r = run({"config", "validate", examples + "malformed.xml"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("not well-formed XML at line 181, column 35"), std::string::npos) << r.err;

    const std::string copy = (dir / "cell.xml").string();
    fs::copy_file(examples + "chain.xml", copy);
    r = run({"config", "set", copy, "Label", "Feed X", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(copy + "~"));
    r = run({"config", "get", copy, "Label", "2"});
    EXPECT_EQ(r.out, "Feed X\n");
    r = run({"config", "get", copy, "NoSuchTag", "2"});
    EXPECT_EQ(r.status, 2);
    r = run({"config", "show", copy, "2", "1"});
    EXPECT_NE(r.out.find("ChannelLabel, "), std::string::npos);

    EXPECT_EQ(run({"frobnicate"}).status, 2);
    EXPECT_EQ(run({}).status, 2);
}

TEST_F(Zeltool, ReadsModulesByAddressAndChangesTheAddressOnlyWhenConfirmed) {
    startDefaultChain();
    const std::string kalix = address(plan[0].host);
    segment.withState(0, [](zelsim::ModuleState& s) { s.axes[0].set(125000); });  // 12.5 mm
    Outcome r = run(at({"read", kalix, "--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject reading = json(r.out).object();
    EXPECT_EQ(reading["kind"].toString(), "Kalix encoder");
    const QJsonObject first = reading["values"].toArray().at(0).toObject();
    EXPECT_NEAR(first["value"].toDouble(), 12.5, 1e-9);
    EXPECT_EQ(first["unit"].toString(), "mm");

    r = run(at({"read", kalix, "--watch", "--count", "3", "--rate", "50"}));
    EXPECT_EQ(r.status, 0);
    std::size_t samples = 0;
    for (std::size_t p = r.out.find("Kalix encoder"); p != std::string::npos;
         p = r.out.find("Kalix encoder", p + 1)) {
        ++samples;
    }
    EXPECT_EQ(samples, 3u);

    // set-ip asks first; "n" changes nothing.
    const std::string ttl = address(plan[1].host);
    const std::string moved = address(77);
    r = run(at({"set-ip", ttl, moved}), "n\n");
    EXPECT_EQ(r.status, 1);
    segment.withState(1, [&](zelsim::ModuleState& s) { EXPECT_EQ(s.address, ttl); });
    r = run(at({"set-ip", ttl, moved, "--yes"}));
    ASSERT_EQ(r.status, 0) << r.err;
    segment.withState(1, [&](zelsim::ModuleState& s) { EXPECT_EQ(s.address, moved); });
    r = run(at({"read", moved}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("TTL encoder"), std::string::npos);

    // A module that does not answer is not found, within the time-out and
    // retries given (the library's own first contact would wait 5 s).
    r = run(at({"read", address(200), "--timeout", "50", "--retries", "1"}));
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("no module answers at " + address(200) + ":27015 (2 attempt(s) of 50 ms"),
              std::string::npos)
        << r.err;
}

TEST_F(Zeltool, DiscoverListsEveryModuleAsJson) {
    startDefaultChain();
    Outcome r = run(at({"discover", "--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray modules = json(r.out).array();
    ASSERT_EQ(modules.size(), static_cast<int>(plan.size()));
    std::vector<std::string> seen, expected;
    for (const auto& m : modules) {
        const QJsonObject o = m.toObject();
        seen.push_back(o["address"].toString().toStdString());
        EXPECT_FALSE(o["mac"].toString().isEmpty());
        EXPECT_EQ(o["firmware"].toString(), "2.3.1");
        EXPECT_FALSE(o["dhcp"].toBool());
    }
    for (const auto& p : plan) expected.push_back(address(p.host));
    std::sort(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected);
}

TEST_F(Zeltool, ChainComesOutInPhysicalOrder) {
    startDefaultChain();
    Outcome r = run(at({"chain", "--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray chain = json(r.out).array();
    ASSERT_EQ(chain.size(), static_cast<int>(plan.size()));
    for (int i = 0; i < chain.size(); ++i) {
        EXPECT_EQ(chain.at(i).toObject()["address"].toString().toStdString(), address(plan[i].host))
            << i;
    }
    EXPECT_EQ(chain.at(4).toObject()["kind"].toString(), "LVDT");
}

TEST_F(Zeltool, ProgramShowsProgressToTheEnd) {
    startDefaultChain();
    const std::string image = (dir / "fw.dat").string();
    ASSERT_TRUE(zelimage::writeFile(
        image, zelimage::buildFile({zelimage::firmwareImage("2.4.0", 1, 4096),
                                    zelimage::firmwareImage("2.4.0", 2, 4096)})));
    Outcome r = run(at({"program", address(plan[1].host), image, "--yes"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("100 % complete"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("reports firmware 2.4.0"), std::string::npos) << r.out;
    segment.withState(1, [](zelsim::ModuleState& s) {
        EXPECT_EQ(s.programming.finishes, 1);
        EXPECT_EQ(s.programming.badRecords, 0);
    });
}

TEST_F(Zeltool, WithoutAnAddressItRunsAgainstASimulatedChain) {
    Outcome r = run({"chain"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("no --local-ip given: a simulated chain of 8 modules"), std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("7    "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" mm"), std::string::npos) << "positions with their units";

    // A broken file to simulate is reported as `config` reports it, naming it once.
    const std::string broken = (dir / "broken.xml").string();
    std::ofstream(broken) << "<ZELconfig><Module";
    r = run({"--simulate=" + broken, "chain"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("not well-formed XML at line 1"), std::string::npos) << r.err;
    ASSERT_NE(r.err.find(broken), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(broken), r.err.rfind(broken)) << r.err;
}

}  // namespace

TEST_F(Zeltool, ChainPositionsAreParsedWholeAndRefusedOutOfRange) {
    // 65536 once folded into position 0; positions past the chain's 64
    // places are usage errors before anything goes on the network.
    for (const char* operand : {"65536", "64", "99999999999999999999", "-1", "0.5x"}) {
        SCOPED_TRACE(operand);
        const Outcome r = run(at({"read", operand}));
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_NE(run(at({"read", "65536"})).err.find("chain position 65536 is out of range"),
              std::string::npos);
}

namespace {

// How many requests of `command` reached module `m` of the segment.
int requestsOf(const zelsim::Segment& segment, std::size_t m, int command) {
    int n = 0;
    for (const auto& r : segment.requests(m)) n += r.bytes[0] == command;
    return n;
}

}  // namespace

TEST_F(Zeltool, AnImageThatWouldLeaveAModuleWithoutFirmwareIsNeverSent) {
    startDefaultChain();
    const std::string good = zelimage::buildFile(
        {zelimage::firmwareImage("2.4.0", 1, 4096), zelimage::firmwareImage("2.4.0", 2, 4096)});
    std::vector<std::string> lines;
    std::stringstream in(good);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    const auto firstLines = [&](std::size_t n) {
        std::string t;
        for (std::size_t i = 0; i < n && i < lines.size(); ++i) t += lines[i] + "\n";
        return t;
    };
    std::string badRecord = good;
    const std::size_t s1 = badRecord.find("\nS1");
    badRecord[s1 + 12] = badRecord[s1 + 12] == '0' ? '1' : '0';
    badRecord =
        zelimage::withFinalChecksum(badRecord.substr(0, badRecord.find("ZEL_FINAL_CHECKSUM")));
    struct Case {
        const char* name;
        std::string text;
        const char* says;
    } cases[] = {
        {"truncated", good.substr(0, good.size() / 2), "cut short"},
        {"cut after 300 lines", firstLines(300), "ends inside the data section"},
        {"no final checksum", good.substr(0, good.find("ZEL_FINAL_CHECKSUM")),
         "no ZEL_FINAL_CHECKSUM line"},
        {"a record's own checksum", badRecord, "S-record checksum is wrong"},
        {"a version of two numbers",
         [&] {
             std::string t = good;
             t.replace(t.find("ZEL_VERSION: 2.4.0"), 18, "ZEL_VERSION: 2.4");
             return zelimage::withFinalChecksum(t.substr(0, t.find("ZEL_FINAL_CHECKSUM")));
         }(),
         "version '2.4' is not a version of three numbers"},
    };
    const std::string file = (dir / "fw.dat").string();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
        Outcome r = run({"image", "check", file});
        EXPECT_EQ(r.status, 3);
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(file + ":"), std::string::npos) << "each failure with its place";
        // program checks before it asks, and sends nothing.
        r = run(at({"program", address(plan[1].host), file, "--yes"}));
        EXPECT_EQ(r.status, 3) << r.err;
        EXPECT_NE(r.err.find("nothing was sent"), std::string::npos) << r.err;
    }
    EXPECT_EQ(requestsOf(segment, 1, UDP_CMD_PROGRAM_INIT), 0);
    EXPECT_TRUE(segment.requests(1).empty()) << "the module was not even contacted";

    // The right kind of image for the flag.
    std::ofstream(file, std::ios::binary | std::ios::trunc) << good;
    Outcome r = run(at({"program", address(plan[1].host), file, "--bootloader", "--yes"}));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("leave out --bootloader"), std::string::npos) << r.err;
    EXPECT_EQ(run({"image", "build", (dir / "v.dat").string(), "2.4"}).status, 2);
    EXPECT_FALSE(fs::exists(dir / "v.dat"));
}

TEST_F(Zeltool, AddressesAreCheckedBeforeAnythingIsSent) {
    startDefaultChain();
    const std::string ttl = address(plan[1].host);
    const char* const bad[][2] = {
        {"999.1.1.1", "255.255.0.0"}, {"1.2.3", "255.255.0.0"},
        {"127.2.0.9", "abc"},         {"127.2.0.9", "255.0.255.0"},
        {"0.0.0.0", "255.255.0.0"},   {"255.255.255.255", "255.255.0.0"},
        {"224.0.0.7", "255.255.0.0"}, {"172.31.46.255", "255.255.255.0"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(std::string(b[0]) + " " + b[1]);
        const Outcome r = run(at({"set-ip", ttl, b[0], b[1], "--yes"}));
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("zeltool: "), std::string::npos);
    }
    EXPECT_EQ(requestsOf(segment, 1, UDP_CMD_SET_IP), 0);
    const Outcome r = run(at({"async-port", ttl, "80", "--yes"}));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("1024 to 49151"), std::string::npos) << r.err;
    EXPECT_EQ(requestsOf(segment, 1, UDP_CMD_ASYNC_PORT), 0);
}

TEST_F(Zeltool, WhenSimulatingOnlyTheSimulatedChainIsTouched) {
    // This segment stands for a real network the tool must not reach while
    // it says it simulates.
    startDefaultChain();
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const std::string target = address(plan[1].host);
    const Case cases[] = {
        {{"read", target}, 2, "lies outside the simulated chain"},
        {{"set-ip", target, address(90), "--yes"}, 2, "lies outside the simulated chain"},
        {{"dhcp", target, "on", "--yes"}, 2, "lies outside the simulated chain"},
        // The image file is checked before anything is sent, so its absence comes first.
        {{"program", target, "x.dat", "--yes"}, 3, "x.dat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const Outcome r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    for (std::size_t m = 0; m < plan.size(); ++m) EXPECT_TRUE(segment.requests(m).empty()) << m;
    const Outcome r = run({"read", address(plan[1].host)});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("lies outside the simulated chain"), std::string::npos) << r.err;
    EXPECT_EQ(run({"--local-ip", "", "chain"}).status, 2);
}

TEST_F(Zeltool, ConfigSetReportsWhatTheFileHoldsAndConvertsText) {
    const std::string copy = (dir / "cell.xml").string();
    fs::copy_file(std::string(ZEL_EXAMPLES_DIR) + "/config/chain.xml", copy);
    const std::string before = slurp(copy);

    // Changes that the library would call done while nothing changes.
    Outcome r = run({"config", "set", copy, "BaseLabel", "Cell 9", "1"});
    EXPECT_EQ(r.status, 2) << r.err;
    r = run({"config", "set", copy, "Offset", "1.5", "1", "1"});  // a Kalix channel has no Offset
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("module 1, channel 1 has no element Offset"), std::string::npos) << r.err;
    // Values the elements cannot hold.
    for (const std::vector<std::string>& v :
         {std::vector<std::string>{"Interpolation", "abc", "3", "1"},
          std::vector<std::string>{"UOM", "99", "1", "1"},
          std::vector<std::string>{"Ip", "999.1.1.1", "2"},
          std::vector<std::string>{"Label", "10 \xCE\xA9", "2"},
          std::vector<std::string>{"Label", "", "2"},
          std::vector<std::string>{"ChannelLabel", "  ", "2", "1"}}) {
        SCOPED_TRACE(v[0] + " " + v[1]);
        std::vector<std::string> args{"config", "set", copy};
        args.insert(args.end(), v.begin(), v.end());
        r = run(args);
        EXPECT_EQ(r.status, 2) << r.err;
    }
    EXPECT_EQ(slurp(copy), before) << "nothing was written";
    EXPECT_FALSE(fs::exists(copy + "~"));

    // A UTF-8 argument reaches the file as the character it names, and
    // comes back as UTF-8; the old and the new value are shown.
    r = run({"config", "set", copy, "Label", "Z\xC3\xBCrich", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("'Table X' -> 'Z\xC3\xBCrich'"), std::string::npos) << r.out;
    EXPECT_EQ(run({"config", "get", copy, "Label", "2"}).out, "Z\xC3\xBCrich\n");
    r = run({"config", "set", copy, "Label", "Z\xC3\xBCrich", "2"});
    EXPECT_NE(r.out.find("already holds"), std::string::npos);

    // A write that cannot happen (a character US-ASCII cannot hold in a
    // comment) fails and says where the previous version is.
    std::string ascii = before;
    ascii.replace(ascii.find("UTF-8"), 5, "US-ASCII");
    ascii.replace(ascii.find("<!-- A mixed"), 5, "<!-- caf\xC3\xA9 ");
    const fs::path asciiFile = dir / "ascii.xml";
    std::ofstream(asciiFile, std::ios::binary) << ascii;
    r = run({"config", "set", asciiFile.string(), "Label", "X", "2"});
    if (r.status != 3) {  // 3: a Qt without ICU does not load US-ASCII at all
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("nothing was written, " + asciiFile.string() + " is as it was"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(slurp(asciiFile.string()), ascii);
    }

    // --strict checks values as well as presence.
    std::string text = slurp(copy);
    text.replace(text.find("<UOM>3</UOM>"), 12, "<UOM>99</UOM>");
    std::ofstream(dir / "strict.xml", std::ios::binary) << text;
    EXPECT_EQ(run({"config", "validate", (dir / "strict.xml").string()}).status, 0);
    r = run({"config", "validate", "--strict", (dir / "strict.xml").string()});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("module 1, channel 1: '99' is no value for UOM"), std::string::npos)
        << r.out;
    EXPECT_EQ(run({"config", "validate", "--strict", copy}).status, 0);
}

TEST_F(Zeltool, DiscoverAndChainAgreeOnEveryModule) {
    startDefaultChain();
    const Outcome found = run(at({"discover", "--json"}));
    const Outcome ordered = run(at({"chain", "--json"}));
    ASSERT_EQ(found.status, 0) << found.err;
    ASSERT_EQ(ordered.status, 0) << ordered.err;
    std::map<std::string, int> channels;
    for (const auto& m : json(found.out).array()) {
        channels[m.toObject()["address"].toString().toStdString()] =
            m.toObject()["channels"].toInt();
    }
    const QJsonArray chain = json(ordered.out).array();
    ASSERT_EQ(chain.size(), static_cast<int>(channels.size()));
    for (const auto& m : chain) {
        const QJsonObject o = m.toObject();
        EXPECT_EQ(o["channels"].toInt(), channels[o["address"].toString().toStdString()])
            << o["kind"].toString().toStdString();
        const QString kind = o["kind"].toString();
        const bool measuring = kind != "I/O" && kind != "pneumatic" && kind != "power supply";
        EXPECT_EQ(o.contains("values"), measuring) << "the readings of the measuring modules";
    }
}

TEST_F(Zeltool, CommandLineHelpExitCodesAndOutputs) {
    Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Exit status: 0 success"), std::string::npos);
    EXPECT_EQ(run({"-h"}).out, r.out);
    r = run({"read", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--stop-on-error"), std::string::npos);
    EXPECT_EQ(r.out.find("--bootloader"), std::string::npos) << "only the command's own options";
    EXPECT_EQ(run({"help", "read"}).out, r.out);
    r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("zeltool " ZEL_VERSION_TEXT ", library " ZEL_VERSION_TEXT, 0), 0u)
        << r.out;

    // Usage errors: one line and a hint, never the whole usage, status 2.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--frobnicate", "chain"},
          std::vector<std::string>{"chain", "extra"},
          std::vector<std::string>{"read", "0", "--count", "3"},
          std::vector<std::string>{"read", "0.5x"},
          std::vector<std::string>{"read", "0", "--watch", "--rate", "0.5x"},
          std::vector<std::string>{"discover", "--bootloader"},
          std::vector<std::string>{"read", "0", "--csv", "--json"}, std::vector<std::string>{}}) {
        SCOPED_TRACE(args.empty() ? "(nothing)" : args[0] + (args.size() > 1 ? " " + args[1] : ""));
        r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
        EXPECT_NE(r.err.find("try 'zeltool "), std::string::npos);
    }
    // An unknown option does not take the command after it.
    r = run({"--frobnicate", "chain"});
    EXPECT_NE(r.err.find("unknown option --frobnicate"), std::string::npos) << r.err;
    // The hint names a command only when there is one.
    r = run({"frobnicate", "--retries"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("try 'zeltool --help'"), std::string::npos) << r.err;

    // The manual page renders, and it and the completion hold every option.
    const std::string page = std::string(ZELTOOL_DOCS_DIR) + "/zeltool.1";
    const std::string completion = slurp(std::string(ZELTOOL_DOCS_DIR) + "/zeltool.bash");
    const std::string rendered = (dir / "man.txt").string();
    ASSERT_EQ(std::system(
                  ("MANWIDTH=200 man -l '" + page + "' > '" + rendered + "' 2>/dev/null").c_str()),
              0);
    const std::string manText = slurp(rendered);
    for (const char* option :
         {"--local-ip", "--timeout", "--csv", "--stop-on-error", "--force", "--strict"}) {
        EXPECT_NE(manText.find(option), std::string::npos) << option;
        EXPECT_NE(completion.find(option), std::string::npos) << option;
    }
    EXPECT_NE(manText.find("EXIT STATUS"), std::string::npos);
    EXPECT_NE(completion.find("complete -F _zeltool zeltool"), std::string::npos);
}

TEST_F(Zeltool, WatchingKeepsGoingCountsFailuresAndStopsOnCtrlC) {
    startDefaultChain();
    const std::string kalix = address(plan[0].host);
    // Every third counts request is lost: the watch goes on and says so.
    zelsim::Fault lost;
    lost.drop = -1;
    lost.every = 3;
    segment.setFault(0, UDP_CMD_GET_COUNTS, lost);
    Outcome r = run(at(
        {"read", kalix, "--watch", "--count", "6", "--rate", "100", "--timeout", "30", "--csv"}));
    EXPECT_EQ(r.status, 1) << "a watch with failed samples ends with 1";
    EXPECT_NE(r.err.find("of 6 module reads failed (the last at " + kalix + ")"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.rfind("time,position,address,name,value,unit,turn\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("," + kalix + ",ch 0,"), std::string::npos);
    r = run(at({"read", kalix, "--watch", "--count", "6", "--rate", "100", "--timeout", "30",
                "--stop-on-error", "--json"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("{\"error\": \"Response timeout\""), std::string::npos) << r.err;
    segment.setFault(0, UDP_CMD_GET_COUNTS, zelsim::Fault{});

    // Ctrl-C ends an endless watch at once, with 130.
    const std::string command = "timeout --preserve-status -s INT 1 '" + std::string(ZELTOOL_PATH) +
                                "' --local-ip " + segment.hostAddress() + " read " + kalix +
                                " --watch --rate 50 > /dev/null 2>&1";
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 130);
}

TEST_F(Zeltool, ReadAllPrintsOneLinePerSnapshotOfTheChain) {
    startDefaultChain();
    const Outcome r = run(at({"read", "all", "--watch", "--count", "3", "--rate", "20", "--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    std::stringstream lines(r.out);
    int samples = 0;
    for (std::string line; std::getline(lines, line); ++samples) {
        const QJsonArray modules = json(line).object()["modules"].toArray();
        // Kalix, TTL, 1 Vpp, LVDT, analog: in chain order, each with values.
        ASSERT_EQ(modules.size(), 5) << line;
        int last = -1;
        for (const auto& m : modules) {
            EXPECT_GT(m.toObject()["position"].toInt(), last);
            last = m.toObject()["position"].toInt();
            EXPECT_FALSE(m.toObject()["values"].toArray().isEmpty());
        }
    }
    EXPECT_EQ(samples, 3);
}

namespace {

// A zeltool process the test can signal: its output goes to files of the
// test's directory, its input is empty.
struct Running {
    pid_t pid;
    int wait() const {
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
    }
};

Running spawn(const fs::path& dir, const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::FILE* in = std::freopen("/dev/null", "r", stdin);
        std::FILE* out = std::freopen((dir / "out").c_str(), "w", stdout);
        std::FILE* err = std::freopen((dir / "err").c_str(), "w", stderr);
        if (in == nullptr || out == nullptr || err == nullptr) ::_exit(127);
        std::vector<char*> argv{const_cast<char*>(ZELTOOL_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(ZELTOOL_PATH, argv.data());
        ::_exit(127);
    }
    return {pid};
}

// Waits until `module` of the segment received `n` requests of `command`.
bool waitForRequests(const zelsim::Segment& segment, std::size_t module, int command, int n) {
    for (int i = 0; i < 3000; ++i) {
        if (requestsOf(segment, module, command) >= n) return true;
        ::usleep(10000);
    }
    return false;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    if (!line.empty() && line.back() == ',') out.push_back("");
    return out;
}

}  // namespace

TEST_F(Zeltool, AModuleThatFailsKeepsItsColumnsAndTheOutputItsForm) {
    startDefaultChain();
    zelsim::Fault silent;
    silent.drop = -1;
    segment.setFault(1, UDP_CMD_GET_COUNTS, silent);  // the TTL module at position 1
    Outcome r = run(at({"read", "all", "--watch", "--count", "2", "--rate", "20", "--csv",
                        "--timeout", "50", "--retries", "0"}));
    EXPECT_EQ(r.status, 1) << r.err;
    const std::vector<std::string> lines = splitLines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    const std::vector<std::string> header = fields(lines[0]);
    const auto ttl = std::find(header.begin(), header.end(), "1 ch 0 (counts)");
    ASSERT_NE(ttl, header.end()) << "the failed module's columns are named: " << lines[0];
    const auto lvdt = std::find(header.begin(), header.end(), "4 ch 0 (V)");
    ASSERT_NE(lvdt, header.end()) << lines[0];
    for (std::size_t i = 1; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        const std::vector<std::string> row = fields(lines[i]);
        ASSERT_EQ(row.size(), header.size());
        EXPECT_EQ(row[ttl - header.begin()], "") << "the failed module's place stays empty";
        EXPECT_EQ(row[lvdt - header.begin()], "0.3100") << "the others stay under their names";
    }

    // Without --watch the snapshot is printed whole, the failure in its place.
    r = run(at({"read", "all", "--json", "--timeout", "50", "--retries", "0"}));
    EXPECT_EQ(r.status, 1);
    const QJsonArray modules = json(r.out).object()["modules"].toArray();
    ASSERT_EQ(modules.size(), 5) << r.out;
    EXPECT_EQ(modules.at(1).toObject()["error"].toString(), "Response timeout");
    EXPECT_FALSE(modules.at(2).toObject()["values"].toArray().isEmpty());
}

TEST_F(Zeltool, EveryCommandShowsAChannelAsTheSameReading) {
    startDefaultChain();
    // The multi-turn Kalix channel stands still at three and a quarter turns.
    segment.withState(0, [](zelsim::ModuleState& s) { s.axes[1].set(3 * 8192 + 2048); });
    // An LVDT channel without a resolution reads in volts everywhere.
    Outcome r = run(at({"read", address(plan[4].host), "--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject ch0 = json(r.out).object()["values"].toArray().at(0).toObject();
    EXPECT_EQ(ch0["unit"].toString(), "V");
    EXPECT_DOUBLE_EQ(ch0["value"].toDouble(), 0.31);
    r = run(at({"read", address(plan[0].host), "--csv"}));
    EXPECT_NE(r.out.find("ch 1,90.0000,deg,3\n"), std::string::npos) << r.out;

    r = run(at({"read", "all", "--csv"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = splitLines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    const std::vector<std::string> header = fields(lines[0]);
    const std::vector<std::string> row = fields(lines[1]);
    ASSERT_EQ(row.size(), header.size());
    const auto value = [&](const std::string& column) {
        const auto at = std::find(header.begin(), header.end(), column);
        return at == header.end() ? "(no column " + column + ")" : row[at - header.begin()];
    };
    EXPECT_EQ(value("4 ch 0 (V)"), "0.3100");
    EXPECT_EQ(value("4 ch 1 (V)"), "-0.0920");
    EXPECT_EQ(value("0 ch 1 (deg)"), "90.0000");
    EXPECT_EQ(value("0 ch 1 turn"), "3");

    r = run(at({"chain"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("90.0000 deg (turn 3)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0.3100 V, -0.0920 V"), std::string::npos) << r.out;
}

TEST_F(Zeltool, SetIpRefusesAnAddressAnotherModuleAnswersOn) {
    startDefaultChain();
    const std::string ttl = address(plan[1].host);
    const std::string kalix = address(plan[0].host);
    const Outcome r = run(at({"set-ip", ttl, kalix, "--yes"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("another module answers at " + kalix), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(requestsOf(segment, 1, UDP_CMD_SET_IP), 0);
    segment.withState(1, [&](zelsim::ModuleState& s) { EXPECT_EQ(s.address, ttl); });
}

TEST_F(Zeltool, WatchStampsEachRequestAndSkipsWhatAStallMissed) {
    startDefaultChain();
    const std::string kalix = address(plan[0].host);
    // Every answer a second late: the stamp is the request's, not the answer's.
    zelsim::Fault late;
    late.delayMs = 1000;
    segment.setFault(0, UDP_CMD_GET_COUNTS, late);
    Outcome r = run(at({"read", kalix, "--watch", "--count", "1", "--timeout", "3000", "--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(json(r.out).object()["time"].toDouble(), 1.0) << r.out;

    // The second request stalls for twenty periods: those sample times are
    // reported missed, and the third sample keeps the pace instead of
    // catching up.
    late.every = 2;
    segment.setFault(0, UDP_CMD_GET_COUNTS, late);
    r = run(at(
        {"read", kalix, "--watch", "--count", "3", "--rate", "20", "--timeout", "3000", "--csv"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("missed the sample times of"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("sample time(s) missed in all"), std::string::npos) << r.err;
}

// An update of the TTL module of the default chain, its data lines slowed
// down, with the tool running on its own until its first data line arrives.
class ZeltoolUpdate : public Zeltool {
  protected:
    Running startSlowUpdate(const std::vector<std::string>& options) {
        startDefaultChain();
        const std::string image = (dir / "fw.dat").string();
        EXPECT_TRUE(zelimage::writeFile(
            image, zelimage::buildFile({zelimage::firmwareImage("2.4.0", 1, 4096),
                                        zelimage::firmwareImage("2.4.0", 2, 4096)})));
        zelsim::Fault slow;
        slow.delayMs = 5;
        segment.setFault(1, UDP_CMD_PROGRAM_DATA, slow);
        std::vector<std::string> args = options;
        args.insert(args.end(), {"program", address(plan[1].host), image, "--yes"});
        const Running tool = spawn(dir, at(args));
        EXPECT_TRUE(waitForRequests(segment, 1, UDP_CMD_PROGRAM_DATA, 1));
        return tool;
    }
};

TEST_F(ZeltoolUpdate, AClosedTerminalDuringAnUpdateFinishesIt) {
    const Running tool = startSlowUpdate({});
    ::kill(tool.pid, SIGHUP);
    ::kill(tool.pid, SIGHUP);  // however often the terminal's end is told
    EXPECT_EQ(tool.wait(), 0);
    EXPECT_NE(slurp(dir / "err").find("the terminal was closed; finishing the update"),
              std::string::npos)
        << slurp(dir / "err");
    segment.withState(1, [](zelsim::ModuleState& s) {
        EXPECT_EQ(s.programming.finishes, 1);
        EXPECT_FALSE(s.bootloaderOnly);
    });
}

TEST_F(ZeltoolUpdate, AStoppedUpdatePrintsACommandThatRecoversTheModule) {
    const Running tool = startSlowUpdate({"--timeout", "900"});
    ::kill(tool.pid, SIGINT);
    ::usleep(100000);
    ::kill(tool.pid, SIGINT);
    EXPECT_EQ(tool.wait(), 130);
    const std::string err = slurp(dir / "err");
    const std::size_t at = err.find("Recover with: zeltool ");
    ASSERT_NE(at, std::string::npos) << err;
    const std::string recover = err.substr(at + 22, err.find('\n', at) - at - 22);
    EXPECT_NE(recover.find("--local-ip " + segment.hostAddress()), std::string::npos) << recover;
    EXPECT_NE(recover.find("--timeout 900"), std::string::npos) << recover;
    segment.withState(1, [](zelsim::ModuleState& s) { EXPECT_TRUE(s.bootloaderOnly); });

    // The command as printed, answered with y, brings the firmware back.
    segment.setFault(1, UDP_CMD_PROGRAM_DATA, zelsim::Fault{});
    std::ofstream(dir / "y") << "y\n";
    const int raw = std::system(("'" + std::string(ZELTOOL_PATH) + "' " + recover + " <'" +
                                 (dir / "y").string() + "' >/dev/null 2>&1")
                                    .c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0);
    segment.withState(1, [](zelsim::ModuleState& s) {
        EXPECT_FALSE(s.bootloaderOnly);
        EXPECT_EQ(s.firmwareVersion.major, 2);
        EXPECT_EQ(s.firmwareVersion.minor, 4);
    });
}

TEST_F(Zeltool, WhatDoesNotWorkSaysSo) {
    startDefaultChain();
    // Nothing answers a broadcast with the wrong netmask.
    Outcome r = run({"--local-ip", segment.hostAddress(), "--netmask", "255.255.255.255",
                     "discover", "--json"});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_EQ(r.out, "[]\n");
    EXPECT_NE(r.err.find("no module answered"), std::string::npos) << r.err;

    // A module that runs only its bootloader has nothing to read.
    segment.withState(1, [](zelsim::ModuleState& s) { s.bootloaderOnly = true; });
    r = run(at({"read", address(plan[1].host)}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("runs only its bootloader"), std::string::npos) << r.err;

    // A resolution turns counts into units: 0 and below are no resolution.
    const std::string copy = (dir / "cell.xml").string();
    const std::string text = slurp(std::string(ZEL_EXAMPLES_DIR) + "/config/chain.xml");
    for (const char* resolution : {"-1", "0"}) {
        SCOPED_TRACE(resolution);
        std::string changed = text;
        changed.replace(changed.find("<Resolution>0.0001</Resolution>"), 31,
                        std::string("<Resolution>") + resolution + "</Resolution>");
        std::ofstream(copy, std::ios::binary | std::ios::trunc) << changed;
        r = run({"config", "validate", "--strict", copy});
        EXPECT_EQ(r.status, 3);
        EXPECT_NE(r.out.find("is no value for Resolution"), std::string::npos) << r.out;
    }
    r = run(at({"read", "0", "--timeout", "0"}));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("bad value '0' for --timeout"), std::string::npos) << r.err;
}

TEST_F(Zeltool, ImagesAreNeitherOverwrittenNorTakenHalf) {
    const std::string image = (dir / "fw.dat").string();
    ASSERT_EQ(run({"image", "build", image, "2.4.0"}).status, 0);
    const std::string built = slurp(image);
    Outcome r = run({"image", "build", image, "2.5.0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("exists already; --force replaces it"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(image), built);
    ASSERT_EQ(run({"image", "build", image, "2.5.0", "--force"}).status, 0);
    EXPECT_NE(slurp(image).find("2.5.0"), std::string::npos);

    std::ofstream(dir / "cut.dat", std::ios::binary) << slurp(image).substr(0, 9000);
    r = run({"image", "info", (dir / "cut.dat").string()});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("cut short"), std::string::npos) << r.err;
}

TEST_F(Zeltool, CtrlCEndsChainBetweenModules) {
    startDefaultChain();
    // The Kalix module answers its counts request late; Ctrl-C comes meanwhile.
    zelsim::Fault late;
    late.delayMs = 1500;
    segment.setFault(0, UDP_CMD_GET_COUNTS, late);
    const Running tool = spawn(dir, at({"chain", "--json", "--timeout", "3000"}));
    ASSERT_TRUE(waitForRequests(segment, 0, UDP_CMD_GET_COUNTS, 1));
    ::kill(tool.pid, SIGINT);
    EXPECT_EQ(tool.wait(), 130);
    EXPECT_EQ(requestsOf(segment, 1, UDP_CMD_GET_COUNTS), 0) << "no module after it was read";
    json(slurp(dir / "out"));  // what was printed is well-formed
}

TEST_F(Zeltool, AcquireStampsEverySampleAndSumsUpEachChannel) {
    // A frozen chain: every channel reads the same value in every sample.
    plan = zelsim::defaultChain();
    for (auto& p : plan) {
        for (auto& axis : p.state.axes) axis.set(axis.count);
    }
    zelsim::addChain(segment, plan);
    ASSERT_TRUE(segment.start());
    const Outcome r = run(at({"acquire", "--rate", "20", "--count", "10", "--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    std::stringstream lines(r.out);
    std::vector<QJsonObject> samples;
    QJsonObject statistics;
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject o = json(line).object();
        if (o["kind"].toString() == "sample") samples.push_back(o);
        if (o["kind"].toString() == "statistics") statistics = o;
    }
    ASSERT_EQ(samples.size(), 10u) << r.out;
    // Sequence, monotonic and UTC time stamps all increase; the UTC text is
    // ISO 8601 with microseconds.
    const QRegularExpression iso("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{6}Z$");
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_TRUE(iso.match(samples[i]["utc"].toString()).hasMatch())
            << samples[i]["utc"].toString().toStdString();
        if (i == 0) continue;
        EXPECT_GT(samples[i]["sequence"].toDouble(), samples[i - 1]["sequence"].toDouble());
        EXPECT_GT(samples[i]["request_us"].toDouble(), samples[i - 1]["request_us"].toDouble());
        EXPECT_GT(samples[i]["utc"].toString(), samples[i - 1]["utc"].toString());
    }
    // Each channel: ten values, all the first sample's.
    const QJsonArray channels = statistics["channels"].toArray();
    ASSERT_FALSE(channels.isEmpty()) << r.out;
    for (const auto& c : channels) {
        const QJsonObject ch = c.toObject();
        const int position = ch["position"].toInt();
        const int channel = ch["channel"].toInt();
        SCOPED_TRACE("module " + std::to_string(position) + " channel " + std::to_string(channel));
        double first = 0;
        for (const auto& m : samples[0]["modules"].toArray()) {
            if (m.toObject()["position"].toInt() == position) {
                first = m.toObject()["values"].toArray()[channel].toDouble();
            }
        }
        EXPECT_EQ(ch["count"].toInt(), 10);
        EXPECT_EQ(ch["min"].toDouble(), first);
        EXPECT_EQ(ch["max"].toDouble(), first);
        EXPECT_EQ(ch["range"].toDouble(), 0.0);
        EXPECT_EQ(ch["failed"].toInt(), 0);
        EXPECT_EQ(ch["gaps"].toInt(), 0);
    }
    EXPECT_GE(statistics["samples"].toDouble(), 10.0);
}

TEST_F(Zeltool, AcquireCsvHasAColumnForEveryValueTheJsonGives) {
    // The analog module's two channels give four values; each gets a column.
    plan = zelsim::defaultChain();
    zelsim::addChain(segment, plan);
    ASSERT_TRUE(segment.start());
    const Outcome j = run(at({"acquire", "--rate", "20", "--count", "1", "--json"}));
    ASSERT_EQ(j.status, 0) << j.err;
    std::map<int, int> values;  // position -> values in the JSON sample
    std::stringstream lines(j.out);
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject o = json(line).object();
        if (o["kind"].toString() != "sample") continue;
        for (const auto& m : o["modules"].toArray())
            values[m.toObject()["position"].toInt()] = m.toObject()["values"].toArray().size();
    }
    ASSERT_FALSE(values.empty()) << j.out;

    const Outcome c = run(at({"acquire", "--rate", "20", "--count", "1", "--csv"}));
    ASSERT_EQ(c.status, 0) << c.err;
    std::stringstream rows(c.out);
    std::string header;
    std::getline(rows, header);
    std::map<int, int> columns;  // position -> "P ch N" columns in the header
    const std::regex column(",(\\d+) ch \\d+");
    for (auto it = std::sregex_iterator(header.begin(), header.end(), column);
         it != std::sregex_iterator(); ++it)
        ++columns[std::stoi((*it)[1])];
    EXPECT_EQ(columns, values) << header;
    std::string row;
    std::getline(rows, row);
    EXPECT_EQ(std::count(row.begin(), row.end(), ','),
              std::count(header.begin(), header.end(), ','))
        << row;
}
