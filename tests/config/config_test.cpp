// The configuration file: conversions, loads, counts, reads at the three
// levels, the check by module kind, edits, and writes with their backup,
// on the sample files of examples/config and on crafted documents.
#include <fcntl.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "config/zel_config_writer.h"
#include "programming/zel_programming.h"
#include "test_folder.h"

namespace {

namespace fs = std::filesystem;

std::string sample(const char* name) { return std::string(ZEL_EXAMPLES_DIR) + "/config/" + name; }

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A scratch folder of the test's own.
class ConfigFiles : public ::testing::Test {
  protected:
    void SetUp() override { dir = zeltest::testFolder("zelconfig-"); }
    void TearDown() override { fs::remove_all(dir); }
    // A document from a root body (after the declaration).
    std::string crafted(const std::string& name, const std::string& body) {
        const fs::path p = dir / name;
        writeText(p, "<?xml version=\"1.0\"?>\n" + body);
        return p.string();
    }
    fs::path dir;
    ZelConfigWriter config;
};

const char kModule[] =
    "<Module><SerialNumber>S</SerialNumber><Model>M</Model><Label>L</Label>"
    "<ModuleId>ID</ModuleId><HardwareId>H</HardwareId><BootloaderVersion>1</BootloaderVersion>"
    "<FirmwareVersion>2</FirmwareVersion><UsingDhcp>0</UsingDhcp><Netmask>n</Netmask>"
    "<NetmaskStatic>n</NetmaskStatic><Mac>m</Mac><Ip>i</Ip><IpStatic>i</IpStatic><Port>p</Port>"
    "<Active>1</Active>CHANNELS</Module>";

std::string module(const std::string& id, const std::string& channels = "") {
    std::string m = kModule;
    m.replace(m.find("ID"), 2, id);
    m.replace(m.find("CHANNELS"), 8, channels);
    return m;
}

TEST(ConfigConversions, TagsAndTexts) {
    EXPECT_EQ(ZelConfigBase::decodeElementType(static_cast<ZEL_XML_ELEMENTS>(18)), "Unknown");
    EXPECT_EQ(ZelConfigBase::decodeElementType(static_cast<ZEL_XML_ELEMENTS>(99)), "Unknown");
    EXPECT_EQ(ZelConfigBase::decodeElementType(ZEL_XML_UNKNOWN_ELEMENT), "Unknown");
    EXPECT_EQ(ZelConfigBase::decodeElementType(ZEL_XML_CHANNEL_UNUSED_1), "ChannelUnused_1");
    EXPECT_EQ(ZelConfigBase::encodeQElementType(QStringLiteral("SignalType")), ZEL_XML_SIGNAL_TYPE);
    EXPECT_EQ(ZelConfigBase::encodeQElementType(QStringLiteral("ChannelUnused_1")),
              ZEL_XML_UNKNOWN_ELEMENT);
    EXPECT_EQ(ZelConfigBase::encodeQElementType(QStringLiteral("signaltype")),
              ZEL_XML_UNKNOWN_ELEMENT);
    EXPECT_EQ(ZelConfigBase::encodeQElementType(QString()), ZEL_XML_UNKNOWN_ELEMENT);
    int known = 0;
    for (int v = 0; v <= 140; ++v) {
        const auto e = static_cast<ZEL_XML_ELEMENTS>(v);
        const QString tag = ZelConfigBase::decodeQElementType(e);
        if (tag == QLatin1String("Unknown") || e == ZEL_XML_CHANNEL_UNUSED_1) continue;
        EXPECT_EQ(ZelConfigBase::encodeQElementType(tag), e) << v;
        ++known;
    }
    EXPECT_EQ(known, 18 + 32);
    EXPECT_EQ(ZelConfigBase::decodeErrorType(ZEL_XML_SAME_DATA),
              "The data to set is the same as what is already in the file");
    EXPECT_EQ(ZelConfigBase::decodeErrorType(ZEL_XML_NULL_POINTER),
              "A NULL pointer was passed in as a parameter");
    EXPECT_EQ(ZelConfigBase::decodeErrorType(static_cast<ZEL_XML_RETURN>(17)), "Ok");
    EXPECT_EQ(ZelConfigBase::decodeErrorType(static_cast<ZEL_XML_RETURN>(-1)), "Ok");
}

TEST_F(ConfigFiles, LoadsOfMissingMalformedAndForeignFiles) {
    std::string text = "untouched";
    EXPECT_EQ(config.getElement(ZEL_XML_BASE_LABEL, text), ZEL_XML_DOM_NOT_CREATED);
    EXPECT_EQ(config.reloadXml(), ZEL_XML_INVALID_FILE) << "no name yet";
    const std::string missing = (dir / "none.xml").string();
    EXPECT_EQ(config.loadXml(missing), ZEL_XML_INVALID_FILE);
    EXPECT_EQ(config.getFilename(), missing);
    EXPECT_EQ(config.getElement(ZEL_XML_BASE_LABEL, text), ZEL_XML_DOM_NOT_CREATED);
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(config.loadXml(sample("malformed.xml")), ZEL_XML_DOM_CREATE_FAILED);

    // Any well-formed root loads; the shape is the counts' and the check's business.
    ASSERT_EQ(config.loadXml(sample("foreign_root.xml")), ZEL_XML_OK);
    unsigned short count = 9;
    EXPECT_EQ(config.getNumModules(count), ZEL_XML_INVALID_ROOT_TAG);
    EXPECT_EQ(config.getElement(ZEL_XML_LABEL, text, 1), ZEL_XML_INVALID_MODULE_LIST);
    ZEL_XML_ELEMENTS element = ZEL_XML_ACTIVE;
    unsigned short m = 5, c = 5;
    EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_INVALID_ROOT_TAG);
    EXPECT_EQ(element, ZEL_XML_ACTIVE) << "the element is set only after the count";
    EXPECT_EQ(m, 0);
}

TEST_F(ConfigFiles, CountsReadsAndListingsOfTheSampleChain) {
    ASSERT_EQ(config.loadXml(sample("chain.xml")), ZEL_XML_OK);
    unsigned short count = 0;
    ASSERT_EQ(config.getNumModules(count), ZEL_XML_OK);
    EXPECT_EQ(count, 8);
    ASSERT_EQ(config.getNumChannels(1, count), ZEL_XML_OK);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(config.getNumChannels(8, count), ZEL_XML_OK);
    EXPECT_EQ(count, 0) << "the power supply has no channels";
    ASSERT_EQ(config.getNumChannels(0, count), ZEL_XML_OK);
    EXPECT_EQ(count, 0);

    std::string text;
    ASSERT_EQ(config.getElement(ZEL_XML_BASE_LABEL, text), ZEL_XML_OK);
    EXPECT_EQ(text, "Assembly cell 3");
    ASSERT_EQ(config.getElement(ZEL_XML_MAC, text), ZEL_XML_OK);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7) << "one line per module";
    ASSERT_EQ(config.getElement(ZEL_XML_LABEL, text, 3), ZEL_XML_OK);
    EXPECT_EQ(text, "Table Y");
    EXPECT_EQ(config.getElement(ZEL_XML_LABEL, text, 9), ZEL_XML_INVALID_MODULE_LIST);
    EXPECT_EQ(config.getElement(ZEL_XML_OFFSET, text, 1), ZEL_XML_TAG_NOT_FOUND);
    ASSERT_EQ(config.getElement(ZEL_XML_INTERPOLATION, text, 3, 2), ZEL_XML_OK);
    EXPECT_EQ(text, "10");
    EXPECT_EQ(config.getElement(ZEL_XML_INTERPOLATION, text, 3, 3), ZEL_XML_INVALID_CHANNEL_LIST);
    EXPECT_EQ(config.getElement(ZEL_XML_INTERPOLATION, text, 3, 0), ZEL_XML_INVALID_CHANNEL_LIST);

    const std::string listing = config.getSpecificModule(6);
    EXPECT_EQ(listing.rfind("SerialNumber, AB000125\n", 0), 0u) << listing;
    EXPECT_NE(listing.find("Label, Clamps\n"), std::string::npos);
    EXPECT_EQ(listing.find("ChannelLabel"), std::string::npos) << "channels are not listed";
    EXPECT_EQ(config.getSpecificChannel(6, 1), "ChannelLabel, Clamps 1\nPopulated, 1\n");
    EXPECT_EQ(config.getSpecificChannel(6, 2), "");

    ASSERT_EQ(config.getAllElements(text), ZEL_XML_OK);
    EXPECT_NE(text.find("\n <BaseLabel>Assembly cell 3</BaseLabel>"), std::string::npos);
    EXPECT_NE(text.find("\n  <SerialNumber>"), std::string::npos);
}

TEST_F(ConfigFiles, CheckNamesTheFirstMissingElement) {
    ZEL_XML_ELEMENTS element{};
    unsigned short m = 0, c = 0;
    ASSERT_EQ(config.loadXml(sample("chain.xml")), ZEL_XML_OK);
    EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_OK);

    ASSERT_EQ(config.loadXml(sample("missing_lvdt_frequency.xml")), ZEL_XML_OK);
    EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_TAG_NOT_FOUND);
    EXPECT_EQ(element, ZEL_XML_PRIMARY_EXCITATION_FREQUENCY);
    EXPECT_EQ(m, 4);
    EXPECT_EQ(c, 2) << "the channel number still names the module before's last channel";

    // The identity is read with white space on either side trimmed: blanks
    // around the LVDT module's identity still make it an LVDT module, whose
    // missing frequency the check finds.
    for (const char* padded :
         {"<ModuleId>  58031601\t</ModuleId>", "<ModuleId>\n58031601 </ModuleId>"}) {
        SCOPED_TRACE(padded);
        std::string text = readFile(sample("missing_lvdt_frequency.xml"));
        const std::string plain = "<ModuleId>58031601</ModuleId>";
        text.replace(text.find(plain), plain.size(), padded);
        writeText(dir / "padded.xml", text);
        ASSERT_EQ(config.loadXml((dir / "padded.xml").string()), ZEL_XML_OK);
        EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_TAG_NOT_FOUND);
        EXPECT_EQ(element, ZEL_XML_PRIMARY_EXCITATION_FREQUENCY);
        EXPECT_EQ(m, 4);
    }

    ASSERT_EQ(config.loadXml(sample("missing_ttl_interpolation.xml")), ZEL_XML_OK);
    EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_TAG_NOT_FOUND);
    EXPECT_EQ(element, ZEL_XML_INTERPOLATION);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(c, 2);

    // Without "BaseLabel"; and a module whose identity is no number needs
    // only the elements of any module.
    ASSERT_EQ(
        config.loadXml(crafted("nolabel.xml", "<ModuleConfig>" + module("1") + "</ModuleConfig>")),
        ZEL_XML_OK);
    m = c = 7;
    EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_TAG_NOT_FOUND);
    EXPECT_EQ(element, ZEL_XML_BASE_LABEL);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(c, 0);
    const std::string plainChannel =
        "<Channel><ChannelLabel>a</ChannelLabel><ErrorMonitoring/><Populated>1</Populated>"
        "<DeviceType/><RotaryFormatType/><UOM/><ErrorCompensation/><ScaleFactor/>"
        "<MasteringEnabled/><MasterDesired/><MasterOffset/><MasterUom/><DisplayResolution/>"
        "<Resolution/><CountingDirection/></Channel>";
    ASSERT_EQ(config.loadXml(crafted("dashed.xml", "<ModuleConfig><BaseLabel>b</BaseLabel>" +
                                                       module("580314-01", plainChannel) +
                                                       "</ModuleConfig>")),
              ZEL_XML_OK);
    EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_OK) << "counts as identity 0";
    // The same channel is not enough for a TTL module.
    ASSERT_EQ(config.loadXml(crafted("ttl.xml", "<ModuleConfig><BaseLabel>b</BaseLabel>" +
                                                    module("58031401", plainChannel) +
                                                    "</ModuleConfig>")),
              ZEL_XML_OK);
    EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_TAG_NOT_FOUND);
    EXPECT_EQ(element, ZEL_XML_LINE_COUNT);
    EXPECT_EQ(c, 1);
}

TEST_F(ConfigFiles, TheCheckRequiresEachKindsChannelElementsAndNoOthers) {
    // The channel elements each kind requires, written out from the schema
    // (not from the library's table). Every channel holds exactly these:
    // the check passes, and without any one of them it names that one.
    struct Kind {
        const char* name;
        unsigned long identity;
        std::vector<std::pair<int, int>> ranges;  // inclusive element ranges
    } kinds[] = {
        {"Kalix", 58030501, {{100, 113}, {115, 118}, {121, 121}}},
        {"1 Vpp", 58030701, {{100, 113}, {119, 122}}},
        {"TTL", 58031401, {{100, 113}, {119, 122}, {131, 131}}},
        {"LVDT", 58031601, {{100, 103}, {105, 105}, {107, 113}, {124, 130}}},
        {"analog", 58031101, {{100, 114}, {121, 121}, {124, 129}}},
        {"I/O", 58030901, {{100, 100}, {102, 102}}},
        {"pneumatic", 58031001, {{100, 100}, {102, 102}}},
        {"power supply", 58030301, {{100, 113}, {121, 121}}},
        {"identity 0", 0, {{100, 113}, {121, 121}}},
    };
    const auto leaf = [](int element) {
        const std::string tag =
            ZelConfigBase::decodeElementType(static_cast<ZEL_XML_ELEMENTS>(element));
        return "<" + tag + ">v</" + tag + ">";
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        std::vector<int> required;
        for (const auto& r : kind.ranges) {
            for (int e = r.first; e <= r.second; ++e) required.push_back(e);
        }
        const bool lvdt = kind.identity == 58031601;
        const auto document = [&](int without) {
            // "SignalType" is required of no kind; it keeps a channel that
            // lacks one of two elements a container.
            std::string channel = "<Channel>" + leaf(132);
            for (int e : required) {
                if (e != without) channel += leaf(e);
            }
            channel += "</Channel>";
            std::string body = kModule;
            body.replace(body.find("<ModuleId>ID</ModuleId>"), 23,
                         "<ModuleId>" + std::to_string(kind.identity) + "</ModuleId>");
            if (lvdt) body.replace(body.find("CHANNELS"), 0, leaf(16) + leaf(17));
            body.replace(body.find("CHANNELS"), 8, channel + channel);
            return crafted("kind.xml",
                           "<ModuleConfig><BaseLabel>b</BaseLabel>" + body + "</ModuleConfig>");
        };
        ZEL_XML_ELEMENTS element{};
        unsigned short m = 0, c = 0;
        ASSERT_EQ(config.loadXml(document(-1)), ZEL_XML_OK);
        EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_OK);
        for (int missing : required) {
            ASSERT_EQ(config.loadXml(document(missing)), ZEL_XML_OK);
            EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_TAG_NOT_FOUND) << missing;
            EXPECT_EQ(element, missing);
            EXPECT_EQ(m, 1);
            EXPECT_EQ(c, 1) << "the first channel already lacks it";
        }
    }
}

TEST_F(ConfigFiles, PositionsEmptyElementsAndWrongContainers) {
    // A comment in front of "BaseLabel" shifts every module position by one.
    ASSERT_EQ(config.loadXml(
                  crafted("comment.xml", "<ModuleConfig><!-- note --><BaseLabel>b</BaseLabel>" +
                                             module("1") + module("2") + "</ModuleConfig>")),
              ZEL_XML_OK);
    std::string text;
    unsigned short count = 0;
    ASSERT_EQ(config.getNumModules(count), ZEL_XML_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(config.getElement(ZEL_XML_MODULE_ID, text, 1), ZEL_XML_INVALID_MODULE_LIST);
    ASSERT_EQ(config.getElement(ZEL_XML_MODULE_ID, text, 2), ZEL_XML_OK);
    EXPECT_EQ(text, "1");
    ZEL_XML_ELEMENTS shifted{};
    unsigned short sm = 0, sc = 0;
    EXPECT_EQ(config.validateElements(shifted, sm, sc), ZEL_XML_INVALID_MODULE_LIST);
    EXPECT_EQ(shifted, ZEL_XML_SERIAL_NUMBER);
    EXPECT_EQ(sm, 1);

    // Empty elements: no leaf at module level, an empty text at channel level.
    std::string m = module("58031101",
                           "<Channel><Offset/><Resolution>2</Resolution></Channel>"
                           "<Channel><Only>x</Only></Channel>");
    m.replace(m.find("<Label>L</Label>"), 16, "<Label/>");
    ASSERT_EQ(config.loadXml(crafted(
                  "empty.xml", "<ModuleConfig><BaseLabel>b</BaseLabel>" + m + "</ModuleConfig>")),
              ZEL_XML_OK);
    EXPECT_EQ(config.getElement(ZEL_XML_LABEL, text, 1), ZEL_XML_TAG_NOT_FOUND);
    text = "x";
    ASSERT_EQ(config.getElement(ZEL_XML_OFFSET, text, 1, 1), ZEL_XML_OK);
    EXPECT_EQ(text, "");
    ASSERT_EQ(config.getNumChannels(1, count), ZEL_XML_OK);
    EXPECT_EQ(count, 1) << "a channel holding one leaf is a leaf";
    ZEL_XML_ELEMENTS element{};
    unsigned short mod = 0, ch = 0;
    EXPECT_EQ(config.validateElements(element, mod, ch), ZEL_XML_TAG_NOT_FOUND);
    EXPECT_EQ(element, ZEL_XML_LABEL);
    EXPECT_EQ(mod, 1);

    ASSERT_EQ(
        config.loadXml(crafted("wrong.xml", "<ModuleConfig><BaseLabel>b</BaseLabel>" + module("1") +
                                                "<Group><a>1</a><b>2</b></Group></ModuleConfig>")),
        ZEL_XML_OK);
    EXPECT_EQ(config.getNumModules(count), ZEL_XML_INVALID_MODULE_TAG);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(config.getNumChannels(1, count), ZEL_XML_INVALID_MODULE_TAG)
        << "the walk goes to the end";
}

TEST_F(ConfigFiles, EditsAndRemovals) {
    const fs::path file = dir / "chain.xml";
    fs::copy_file(sample("chain.xml"), file);
    EXPECT_EQ(config.setElement(ZEL_XML_LABEL, "x", 1), ZEL_XML_DOM_NOT_CREATED);
    ASSERT_EQ(config.loadXml(file.string()), ZEL_XML_OK);
    EXPECT_EQ(config.setElement(ZEL_XML_LABEL, "Spindle", 1), ZEL_XML_SAME_DATA);
    ASSERT_EQ(config.setElement(ZEL_XML_LABEL, "Main spindle", 1), ZEL_XML_OK);
    std::string text;
    ASSERT_EQ(config.getElement(ZEL_XML_LABEL, text, 1), ZEL_XML_OK);
    EXPECT_EQ(text, "Main spindle");
    ASSERT_EQ(config.setElement(ZEL_XML_LINE_COUNT, "4096", 2, 2), ZEL_XML_OK);
    ASSERT_EQ(config.getElement(ZEL_XML_LINE_COUNT, text, 2, 2), ZEL_XML_OK);
    EXPECT_EQ(text, "4096");
    EXPECT_EQ(config.setElement(ZEL_XML_OFFSET, "1", 1), ZEL_XML_OK) << "absent: nothing created";
    EXPECT_EQ(config.getElement(ZEL_XML_OFFSET, text, 1), ZEL_XML_TAG_NOT_FOUND);
    EXPECT_EQ(config.setElement(ZEL_XML_LABEL, "x", 0), ZEL_XML_TAG_NOT_FOUND);
    EXPECT_EQ(config.setElement(ZEL_XML_LINE_COUNT, "x", 2, 0), ZEL_XML_TAG_NOT_FOUND);

    // Module 0 is "BaseLabel": nothing removed; removing 1 twice drops two modules.
    unsigned short count = 0;
    config.removeSpecificModuleNode(0);
    config.removeSpecificModuleNode(1);
    config.removeSpecificModuleNode(1);
    ASSERT_EQ(config.getNumModules(count), ZEL_XML_OK);
    EXPECT_EQ(count, 6);
    ASSERT_EQ(config.getElement(ZEL_XML_LABEL, text, 1), ZEL_XML_OK);
    EXPECT_EQ(text, "Table Y");
    ASSERT_EQ(config.reloadXml(), ZEL_XML_OK) << "unwritten edits are dropped";
    ASSERT_EQ(config.getNumModules(count), ZEL_XML_OK);
    EXPECT_EQ(count, 8);
}

TEST_F(ConfigFiles, WritesKeepOneBackupAndTheLoadedName) {
    const fs::path file = dir / "config.xml";
    fs::copy_file(sample("chain.xml"), file);
    writeText(dir / "config.xml~", "an older backup");
    const std::string before = readFile(file);

    EXPECT_EQ(config.writeFile(), ZEL_XML_DOM_NOT_CREATED);
    EXPECT_EQ(config.writeFile((dir / "never.xml").string()), ZEL_XML_DOM_NOT_CREATED);
    EXPECT_FALSE(fs::exists(dir / "never.xml"));

    ASSERT_EQ(config.loadXml(file.string()), ZEL_XML_OK);
    ASSERT_EQ(config.setElement(ZEL_XML_LABEL, "Renamed", 2), ZEL_XML_OK);
    ASSERT_EQ(config.writeFile(), ZEL_XML_OK);
    EXPECT_EQ(readFile(dir / "config.xml~"), before) << "the backup is the previous file";
    const std::string written = readFile(file);
    EXPECT_NE(written.find("\n    <BaseLabel>Assembly cell 3</BaseLabel>"), std::string::npos);
    EXPECT_EQ(written.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
    EXPECT_NE(written.find("<!-- A mixed chain"), std::string::npos);

    const fs::path other = dir / "copy.xml";
    ASSERT_EQ(config.writeFile(other.string()), ZEL_XML_OK);
    EXPECT_FALSE(fs::exists(dir / "copy.xml~")) << "no backup of a new file";
    EXPECT_EQ(config.getFilename(), file.string());

    // Round trip: every value survives.
    ZelConfigWriter again;
    ASSERT_EQ(again.loadXml(other.string()), ZEL_XML_OK);
    ZelConfigWriter original;
    ASSERT_EQ(original.loadXml(sample("chain.xml")), ZEL_XML_OK);
    for (unsigned short m = 1; m <= 8; ++m) {
        if (m == 2) continue;
        EXPECT_EQ(again.getSpecificModule(m), original.getSpecificModule(m)) << m;
        for (unsigned short c = 1; c <= 2; ++c) {
            EXPECT_EQ(again.getSpecificChannel(m, c), original.getSpecificChannel(m, c))
                << m << "/" << c;
        }
    }
    ZEL_XML_ELEMENTS element{};
    unsigned short m = 0, c = 0;
    EXPECT_EQ(again.validateElements(element, m, c), ZEL_XML_OK);
}

TEST_F(ConfigFiles, WritesKeepTheDeclaredEncodingAndLoseNoCharacter) {
    const auto declared = [](const char* encoding, const std::string& body) {
        return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>\n" + body;
    };
    const auto reloadedLabel = [](const fs::path& file) {
        ZelConfigReader again;
        std::string text;
        EXPECT_EQ(again.loadXml(file.string()), ZEL_XML_OK);
        EXPECT_EQ(again.getElement(ZEL_XML_LABEL, text, 1), ZEL_XML_OK);
        return text;
    };

    // ISO-8859-1 holds ü, one byte per character; the Ohm sign it cannot
    // hold goes out as a character reference, never as '?'.
    const fs::path latin1 = dir / "latin1.xml";
    writeText(latin1, declared("ISO-8859-1",
                               "<ModuleConfig><BaseLabel>Z\xFCrich</BaseLabel>"
                               "<Module><Label>10 &#x2126;</Label></Module></ModuleConfig>\n"));
    ASSERT_EQ(config.loadXml(latin1.string()), ZEL_XML_OK);
    std::string text;
    ASSERT_EQ(config.getElement(ZEL_XML_BASE_LABEL, text), ZEL_XML_OK);
    EXPECT_EQ(text, "Z\xFCrich") << "one byte per character";
    ASSERT_EQ(config.writeFile(), ZEL_XML_OK);
    std::string written = readFile(latin1);
    EXPECT_EQ(written.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 0), 0u);
    EXPECT_NE(written.find("Z\xFCrich"), std::string::npos) << "written in ISO-8859-1, not UTF-8";
    EXPECT_NE(written.find("10 &#x2126;"), std::string::npos);

    // UTF-16 goes out with its byte-order mark and loads again.
    const fs::path utf16 = dir / "utf16.xml";
    {
        QString text = QString::fromLatin1(readFile(sample("chain.xml")).c_str());
        text.replace(QLatin1String("UTF-8"), QLatin1String("UTF-16"));
        QStringEncoder toUtf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
        const QByteArray bytes = toUtf16.encode(text);
        writeText(utf16, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    ASSERT_EQ(config.loadXml(utf16.string()), ZEL_XML_OK);
    ASSERT_EQ(config.setElement(ZEL_XML_LABEL, "Z\xFCrich", 1), ZEL_XML_OK);
    ASSERT_EQ(config.writeFile(), ZEL_XML_OK);
    {
        ZelConfigReader again;
        ASSERT_EQ(again.loadXml(utf16.string()), ZEL_XML_OK);
        std::string label;
        ASSERT_EQ(again.getElement(ZEL_XML_LABEL, label, 1), ZEL_XML_OK);
        EXPECT_EQ(label, "Z\xFCrich");
    }

    // An encoding Qt has no enumerator for is still written in itself (where
    // Qt knows it at all: a Qt without ICU refuses such a file at loading).
    const fs::path cp1252 = dir / "cp1252.xml";
    writeText(cp1252, declared("windows-1252",
                               "<ModuleConfig><BaseLabel>5 \x80</BaseLabel></ModuleConfig>\n"));
    if (QStringDecoder("windows-1252").isValid()) {
        ASSERT_EQ(config.loadXml(cp1252.string()), ZEL_XML_OK);
        ASSERT_EQ(config.writeFile(), ZEL_XML_OK);
        written = readFile(cp1252);
        EXPECT_NE(written.find("encoding=\"windows-1252\""), std::string::npos);
        EXPECT_NE(written.find("<BaseLabel>5 \x80</BaseLabel>"), std::string::npos)
            << "not turned into UTF-8";
    } else {
        EXPECT_EQ(config.loadXml(cp1252.string()), ZEL_XML_DOM_CREATE_FAILED);
    }

    // US-ASCII (where Qt knows it; a Qt without ICU does not).
    if (QStringDecoder("US-ASCII").isValid()) {
        // US-ASCII: an edit with a Latin-1 character becomes a reference and
        // reads back as it was set.
        const fs::path ascii = dir / "ascii.xml";
        std::string chain = readFile(sample("chain.xml"));
        chain.replace(chain.find("UTF-8"), 5, "US-ASCII");
        writeText(ascii, chain);
        ASSERT_EQ(config.loadXml(ascii.string()), ZEL_XML_OK);
        ASSERT_EQ(config.setElement(ZEL_XML_LABEL, "Z\xFCrich", 1), ZEL_XML_OK);
        ASSERT_EQ(config.writeFile(), ZEL_XML_OK);
        EXPECT_NE(readFile(ascii).find("Z&#xFC;rich"), std::string::npos);
        EXPECT_EQ(reloadedLabel(ascii), "Z\xFCrich");

        // Where no reference may stand (a comment, a CDATA section) the write
        // is refused whole: the file and its backup stay as they were, the
        // plain write still answers 0 and the checked one tells why.
        const std::string comment = declared(
            "US-ASCII",
            "<!-- caf\xC3\xA9 -->\n<ModuleConfig><BaseLabel>y</BaseLabel></ModuleConfig>\n");
        const std::string cdata =
            declared("US-ASCII",
                     "<ModuleConfig><BaseLabel>y</BaseLabel><Module><Label><![CDATA[x]]></Label>"
                     "<Port>1</Port></Module></ModuleConfig>\n");
        for (const std::string& before : {comment, cdata}) {
            SCOPED_TRACE(before);
            writeText(ascii, before);
            fs::remove(dir / "ascii.xml~");
            ASSERT_EQ(config.loadXml(ascii.string()), ZEL_XML_OK);
            if (before == cdata) {
                ASSERT_EQ(config.setElement(ZEL_XML_LABEL, "caf\xE9", 1), ZEL_XML_OK);
            }
            EXPECT_EQ(config.writeFile(), ZEL_XML_OK);
            EXPECT_EQ(config.writeFile((dir / "new.xml").string()), ZEL_XML_OK);
            std::string why;
            EXPECT_EQ(config.writeFileChecked(why), ZEL_XML_INVALID_FILE);
            EXPECT_NE(why.find("US-ASCII cannot hold"), std::string::npos) << why;
            EXPECT_EQ(readFile(ascii), before);
            EXPECT_FALSE(fs::exists(dir / "ascii.xml~"));
            EXPECT_FALSE(fs::exists(dir / "new.xml"));
        }
    }

    // A file that may be written in a folder that may not (only meaningful
    // when not running with the rights to write anywhere).
    const fs::path locked = dir / "locked";
    fs::create_directories(locked);
    fs::copy_file(sample("chain.xml"), locked / "config.xml");
    ASSERT_EQ(config.loadXml((locked / "config.xml").string()), ZEL_XML_OK);
    ASSERT_EQ(config.setElement(ZEL_XML_LABEL, "Renamed", 1), ZEL_XML_OK);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(config.writeFile(), ZEL_XML_OK);
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_NE(readFile(locked / "config.xml").find("<Label>Renamed</Label>"), std::string::npos);
}

TEST_F(ConfigFiles, AFailedLoadNeverLeadsToAPartialWrite) {
    const fs::path file = dir / "config.xml";
    fs::copy_file(sample("chain.xml"), file);
    ASSERT_EQ(config.loadXml(file.string()), ZEL_XML_OK);
    EXPECT_EQ(config.loadXml(sample("malformed.xml")), ZEL_XML_DOM_CREATE_FAILED);
    unsigned short count = 0;
    ASSERT_EQ(config.getNumModules(count), ZEL_XML_OK);
    EXPECT_EQ(count, 8) << "the earlier tree stays whole";
    const fs::path out = dir / "out.xml";
    ASSERT_EQ(config.writeFile(out.string()), ZEL_XML_OK);
    ZelConfigReader check;
    ASSERT_EQ(check.loadXml(out.string()), ZEL_XML_OK);
    ZEL_XML_ELEMENTS element{};
    unsigned short m = 0, c = 0;
    EXPECT_EQ(check.validateElements(element, m, c), ZEL_XML_OK);

    // A target that cannot be opened: result 0, the old file stays as it was.
    fs::create_directories(dir / "blocked.xml");
    EXPECT_EQ(config.writeFile((dir / "blocked.xml").string()), ZEL_XML_OK);
    EXPECT_TRUE(fs::is_directory(dir / "blocked.xml"));
}

TEST_F(ConfigFiles, HostileDocuments) {
    // Deep nesting, a huge text, control characters, an unknown encoding and
    // bytes that are no UTF-8: each loads or is refused, and nothing crashes.
    // Nesting: 64 levels load, 65 and the 5 000 that overflowed Qt's
    // recursive writer are refused before a tree is built, and the tree
    // loaded before stays.
    const auto nested = [](int levels) {
        std::string d = "<ModuleConfig><BaseLabel>b</BaseLabel>";
        for (int i = 2; i <= levels; ++i) d += "<Module>";
        for (int i = 2; i <= levels; ++i) d += "</Module>";
        return d + "</ModuleConfig>";
    };
    ZEL_XML_ELEMENTS element{};
    unsigned short m = 0, c = 0, count = 0;
    ASSERT_EQ(config.loadXml(crafted("deep64.xml", nested(64))), ZEL_XML_OK);
    EXPECT_EQ(config.getNumModules(count), ZEL_XML_OK);
    EXPECT_EQ(count, 0) << "each level holds one node: a leaf, no module";
    EXPECT_EQ(config.validateElements(element, m, c), ZEL_XML_OK);
    EXPECT_EQ(config.writeFile((dir / "deep-out.xml").string()), ZEL_XML_OK);
    for (int levels : {65, 5000, 40000}) {
        SCOPED_TRACE(levels);
        EXPECT_EQ(config.loadXml(crafted("deep.xml", nested(levels))), ZEL_XML_DOM_CREATE_FAILED);
        EXPECT_EQ(config.writeFile((dir / "deep-out.xml").string()), ZEL_XML_OK);
    }

    const std::string huge(4 * 1024 * 1024, 'h');
    ASSERT_EQ(config.loadXml(crafted(
                  "huge.xml", "<ModuleConfig><BaseLabel>" + huge + "</BaseLabel></ModuleConfig>")),
              ZEL_XML_OK);
    std::string text;
    ASSERT_EQ(config.getElement(ZEL_XML_BASE_LABEL, text), ZEL_XML_OK);
    EXPECT_EQ(text.size(), huge.size());

    EXPECT_EQ(config.loadXml(crafted("control.xml", std::string("<ModuleConfig><BaseLabel>a\x01") +
                                                        "b</BaseLabel></ModuleConfig>")),
              ZEL_XML_DOM_CREATE_FAILED);
    EXPECT_EQ(config.loadXml(crafted("unknown.xml",
                                     "<?xml version=\"1.0\" encoding=\"X-NONE\"?>"
                                     "<ModuleConfig><BaseLabel>b</BaseLabel></ModuleConfig>")),
              ZEL_XML_DOM_CREATE_FAILED);
    EXPECT_EQ(config.loadXml(crafted(
                  "bytes.xml", "<ModuleConfig><BaseLabel>\xC3\x28\xFF</BaseLabel></ModuleConfig>")),
              ZEL_XML_DOM_CREATE_FAILED)
        << "bytes that are no UTF-8 in a document without a declaration";
    EXPECT_EQ(config.loadXml(crafted("empty.xml", "")), ZEL_XML_DOM_CREATE_FAILED);
}

#ifndef _WIN32
// What stands in fd 2 while `body` runs.
template <typename Body>
std::string stderrOf(Body&& body) {
    std::fflush(stderr);
    const fs::path path = fs::temp_directory_path() / ("zel-stderr-" + std::to_string(::getpid()));
    const int saved = ::dup(2);
    const int into = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(into, 2);
    ::close(into);
    body();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    const std::string text = readFile(path);
    fs::remove(path);
    return text;
}

#endif

TEST_F(ConfigFiles, ABlankValueIsRefusedByTheCheckedWriteAndTheFileStaysValid) {
    const fs::path file = dir / "config.xml";
    fs::copy_file(sample("chain.xml"), file);
    const std::string before = readFile(file);
    for (const char* blank : {"", "   ", "\t"}) {
        SCOPED_TRACE(std::string("'") + blank + "'");
        ASSERT_EQ(config.loadXml(file.string()), ZEL_XML_OK);
        ASSERT_EQ(config.setElement(ZEL_XML_LABEL, blank, 2), ZEL_XML_OK);
        std::string why;
        EXPECT_EQ(config.writeFileChecked(why), ZEL_XML_INVALID_FILE);
        EXPECT_NE(why.find("Label of module 2 would be written empty"), std::string::npos) << why;
        EXPECT_EQ(readFile(file), before);
        EXPECT_FALSE(fs::exists(dir / "config.xml~"));
    }
    ASSERT_EQ(config.loadXml(file.string()), ZEL_XML_OK);
    ASSERT_EQ(config.setElement(ZEL_XML_CHANNEL_LABEL, " ", 3, 2), ZEL_XML_OK);
    std::string why;
    EXPECT_EQ(config.writeFileChecked(why), ZEL_XML_INVALID_FILE);
    EXPECT_NE(why.find("ChannelLabel of module 3, channel 2"), std::string::npos) << why;
    // A value with text around its blanks is written, and the file stays valid.
    ASSERT_EQ(config.setElement(ZEL_XML_CHANNEL_LABEL, " a b ", 3, 2), ZEL_XML_OK);
    EXPECT_EQ(config.writeFileChecked(why), ZEL_XML_OK) << why;
    EXPECT_EQ(why, "");
    EXPECT_EQ(readFile(dir / "config.xml~"), before);
    ZelConfigReader again;
    ASSERT_EQ(again.loadXml(file.string()), ZEL_XML_OK);
    ZEL_XML_ELEMENTS element{};
    unsigned short m = 0, c = 0;
    EXPECT_EQ(again.validateElements(element, m, c), ZEL_XML_OK);
}

TEST_F(ConfigFiles, ACheckedWriteReportsEveryWriteThatDidNotHappen) {
    const fs::path file = dir / "config.xml";
    fs::copy_file(sample("chain.xml"), file);
    std::string why;
    EXPECT_EQ(config.writeFileChecked(why), ZEL_XML_DOM_NOT_CREATED);
    ASSERT_EQ(config.loadXml(file.string()), ZEL_XML_OK);
    fs::create_directories(dir / "folder.xml");
    struct Case {
        std::string target;
        const char* reason;
    };
    const Case cases[] = {
        {(dir / "missing" / "x.xml").string(), "cannot be written"},
        {(dir / "folder.xml").string(), "is a folder"},
        {"", "no file name"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.target);
        EXPECT_EQ(config.writeFile(k.target), ZEL_XML_OK) << "the plain write answers 0";
        EXPECT_EQ(config.writeFileChecked(k.target, why), ZEL_XML_INVALID_FILE);
        EXPECT_NE(why.find(k.reason), std::string::npos) << why;
        EXPECT_NE(why.find("nothing was written"), std::string::npos) << why;
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder.xml"));
    EXPECT_FALSE(fs::exists(dir / "missing"));

#ifndef _WIN32  // a file-size limit is POSIX
    // A full disk, as a file-size limit makes one: the new file is not
    // created, and the previous version stays (its backup cannot be made,
    // so nothing is touched).
    const std::string before = readFile(file);
    ASSERT_EQ(config.setElement(ZEL_XML_LABEL, "Renamed", 2), ZEL_XML_OK);
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string fresh;
    std::string existing;
    const ZEL_XML_RETURN toNew = config.writeFileChecked((dir / "new.xml").string(), fresh);
    const ZEL_XML_RETURN toOld = config.writeFileChecked(existing);
    const ZEL_XML_RETURN plain = config.writeFile();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(toNew, ZEL_XML_INVALID_FILE);
    EXPECT_NE(fresh.find("no file of that name existed before"), std::string::npos) << fresh;
    EXPECT_FALSE(fs::exists(dir / "new.xml"));
    EXPECT_EQ(toOld, ZEL_XML_INVALID_FILE);
    EXPECT_NE(existing.find("could not be kept as"), std::string::npos) << existing;
    EXPECT_EQ(plain, ZEL_XML_OK);
    EXPECT_EQ(readFile(file), before) << "the plain write did not store half a file either";
#endif
}

#ifndef _WIN32  // fd 2 redirected through POSIX calls
TEST_F(ConfigFiles, QtWritesNothingToTheConsole) {
    const fs::path ascii = dir / "ascii.xml";
    const fs::path latin1 = dir / "latin1.xml";
    writeText(ascii,
              "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n"
              "<ModuleConfig><BaseLabel>b</BaseLabel></ModuleConfig>\n");
    writeText(latin1,
              "<?xml version='1.0' encoding='ISO-8859-1' standalone='yes'?>\n"
              "<ModuleConfig><BaseLabel>b</BaseLabel></ModuleConfig>\n");
    const std::string said = stderrOf([&] {
        std::string why;
        EXPECT_EQ(config.loadXml(""), ZEL_XML_INVALID_FILE);
        EXPECT_EQ(config.reloadXml(), ZEL_XML_INVALID_FILE);
        ProgramFileHeader headers[2] = {};
        EXPECT_FALSE(ZelProgramming::getProgramFileHeaders("", PROGRAMMING_FIRMWARE, headers, 2));
        for (const fs::path& file : {ascii, latin1}) {
            if (config.loadXml(file.string()) != ZEL_XML_OK) continue;  // a Qt without ICU
            EXPECT_EQ(config.writeFile(), ZEL_XML_OK);
            EXPECT_EQ(config.writeFile(""), ZEL_XML_OK);
            EXPECT_EQ(config.writeFileChecked("", why), ZEL_XML_INVALID_FILE);
        }
    });
    EXPECT_EQ(said, "");
    EXPECT_EQ(readFile(latin1).rfind(
                  "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>\n", 0),
              0u)
        << readFile(latin1);
}
#endif

}  // namespace
