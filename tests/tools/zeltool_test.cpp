// zeltool end to end: the tool runs as its own process, against a simulated
// segment held by the test (so the test sees what reached the modules), or
// against its own embedded simulated chain.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "image_builder.h"
#include "sim_chains.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Zeltool : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("zeltool_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs zeltool with the arguments (each one quoted) and `input` on stdin.
    Outcome run(const std::vector<std::string>& args, const std::string& input = "") {
        std::ofstream(dir / "in") << input;
        std::string command = std::string("'") + ZELTOOL_PATH + "'";
        for (const std::string& a : args) command += " '" + a + "'";
        command += " <'" + (dir / "in").string() + "' >'" + (dir / "out").string() + "' 2>'" +
                   (dir / "err").string() + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "out"), slurp(dir / "err")};
    }
    // The arguments that aim the tool at the test's own segment.
    std::vector<std::string> at(std::vector<std::string> args) {
        args.insert(args.begin(), {"--local-ip", segment.hostAddress(), "--netmask", zelsim::Segment::kNetmask});
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
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("(code "), std::string::npos) << r.out;
    r = run({"image", "check", (dir / "none.dat").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot be opened"), std::string::npos);

    const std::string examples = std::string(ZEL_EXAMPLES_DIR) + "/config/";
    r = run({"config", "validate", examples + "chain.xml"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("valid, 8 modules"), std::string::npos);
    r = run({"config", "validate", examples + "missing_ttl_interpolation.xml"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Tag name not found: element Interpolation, module 3, channel 2"), std::string::npos)
        << r.out;
    r = run({"config", "validate", examples + "missing_lvdt_frequency.xml"});
    EXPECT_NE(r.out.find("element PrimaryExcitationFrequency, module 4\n"), std::string::npos) << r.out;
    r = run({"config", "validate", examples + "malformed.xml"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Failed to create DOM (code 3)"), std::string::npos) << r.err;

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
    for (std::size_t p = r.out.find("Kalix encoder"); p != std::string::npos; p = r.out.find("Kalix encoder", p + 1)) {
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

    // A module that does not answer: the library's message and method, non-zero.
    r = run(at({"read", address(200), "--timeout", "50", "--retries", "0"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Response timeout (code 1) in Zel"), std::string::npos) << r.err;
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
        EXPECT_EQ(chain.at(i).toObject()["address"].toString().toStdString(), address(plan[i].host)) << i;
    }
    EXPECT_EQ(chain.at(4).toObject()["kind"].toString(), "LVDT");
}

TEST_F(Zeltool, ProgramShowsProgressToTheEnd) {
    startDefaultChain();
    const std::string image = (dir / "fw.dat").string();
    ASSERT_TRUE(zelimage::writeFile(image, zelimage::buildFile({zelimage::firmwareImage("2.4.0", 1, 4096),
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
    EXPECT_NE(r.err.find("no --local-ip given: a simulated chain of 8 modules"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("7    "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" mm"), std::string::npos) << "positions with their units";
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
