// The configuration-file family of the C interface: handles, the copy-out
// rules (a host's variables change only as documented) and NULL as 16.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "capi/zel_capi.h"

namespace fs = std::filesystem;

namespace {

const std::string kSample = std::string(ZEL_EXAMPLES_DIR) + "/config/chain.xml";

class CConfig : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("zel_capi_config_" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        h = ZelConfigFileCreate();
        ASSERT_NE(h, nullptr);
    }
    void TearDown() override {
        ZelConfigFileDelete(h);
        fs::remove_all(dir);
    }
    ZelConfigHandle h = nullptr;
    fs::path dir;
};

TEST_F(CConfig, AnEmptyHandleRefusesWithItsCodesAndWritesTheCheckTriple) {
    unsigned short count = 77;
    EXPECT_EQ(ZelConfigFileGetNumModules(h, &count), ZEL_XML_DOM_NOT_CREATED);
    EXPECT_EQ(count, 77) << "a failed read leaves the count";
    ZEL_XML_ELEMENTS element = ZEL_XML_SIGNAL_TYPE;
    unsigned short module = 9, channel = 9;
    EXPECT_EQ(ZelConfigFileValidateElements(h, &element, &module, &channel),
              ZEL_XML_DOM_NOT_CREATED);
    EXPECT_EQ(element, 0);
    EXPECT_EQ(module, 0);
    EXPECT_EQ(channel, 0);
    EXPECT_EQ(ZelConfigFileRemoveModule(h, 1), ZEL_XML_OK);
    const fs::path target = dir / "never.xml";
    EXPECT_EQ(ZelConfigFileWriteNewFile(h, target.c_str()), ZEL_XML_DOM_NOT_CREATED);
    EXPECT_FALSE(fs::exists(target));

    // NULL: 16 before anything else, also where the handle is not needed.
    char text[128] = "untouched";
    EXPECT_EQ(ZelConfigFileGetNumModules(h, nullptr), ZEL_XML_NULL_POINTER);
    EXPECT_EQ(ZelConfigFileLoadXml(h, nullptr), ZEL_XML_NULL_POINTER);
    EXPECT_EQ(ZelConfigFileLoadXml(nullptr, kSample.c_str()), ZEL_XML_NULL_POINTER);
    EXPECT_EQ(ZelConfigFileValidateElements(h, &element, nullptr, &channel), ZEL_XML_NULL_POINTER);
    EXPECT_EQ(ZelConfigFileDecodeErrorType(nullptr, text, ZEL_XML_SAME_DATA), ZEL_XML_NULL_POINTER);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(ZelConfigFileDecodeErrorType(h, text, ZEL_XML_SAME_DATA), ZEL_XML_OK);
    EXPECT_STREQ(text, "The data to set is the same as what is already in the file");
    EXPECT_EQ(ZelConfigFileDecodeElementType(h, text, ZEL_XML_INTERPOLATION), ZEL_XML_OK);
    EXPECT_STREQ(text, "Interpolation");
    EXPECT_EQ(ZelConfigFileDecodeElementType(h, text, static_cast<ZEL_XML_ELEMENTS>(555)),
              ZEL_XML_OK);
    EXPECT_STREQ(text, "Unknown");
    ZelConfigFileDelete(nullptr);
}

TEST_F(CConfig, ReadsCopyOutOnlyOnSuccess) {
    ASSERT_EQ(ZelConfigFileLoadXml(h, kSample.c_str()), ZEL_XML_OK);
    char name[512] = {};
    EXPECT_EQ(ZelConfigFileGetFilename(h, name), ZEL_XML_OK);
    EXPECT_EQ(kSample, name);
    unsigned short modules = 0, channels = 0;
    ASSERT_EQ(ZelConfigFileGetNumModules(h, &modules), ZEL_XML_OK);
    EXPECT_EQ(modules, 8);
    ASSERT_EQ(ZelConfigFileGetNumChannels(h, 1, &channels), ZEL_XML_OK);
    EXPECT_GT(channels, 0);

    char text[4096] = "untouched";
    EXPECT_EQ(ZelConfigFileGetModuleElement(h, text, 1, ZEL_XML_LINE_COUNT), ZEL_XML_TAG_NOT_FOUND);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(ZelConfigFileGetModuleElement(h, text, 1, ZEL_XML_MODULE_ID), ZEL_XML_OK);
    EXPECT_STREQ(text, "58030501");
    EXPECT_EQ(ZelConfigFileGetChannelElement(h, text, 1, 1, ZEL_XML_ENCODER_NAME), ZEL_XML_OK);
    EXPECT_STREQ(text, "KX-25");
    std::strcpy(text, "untouched");
    EXPECT_EQ(ZelConfigFileGetChannelElement(h, text, 1, 99, ZEL_XML_ENCODER_NAME),
              ZEL_XML_INVALID_CHANNEL_LIST);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(ZelConfigFileGetElement(h, text, ZEL_XML_BASE_LABEL), ZEL_XML_OK);
    EXPECT_STREQ(text, "Assembly cell 3");

    // Listings are always copied, an empty one too.
    EXPECT_EQ(ZelConfigFileGetSpecificModule(h, text, 99), ZEL_XML_OK);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(ZelConfigFileGetSpecificChannel(h, text, 1, 1), ZEL_XML_OK);
    EXPECT_NE(std::string(text).find("EncoderName, KX-25\n"), std::string::npos);
    std::string all(1 << 20, '\0');
    EXPECT_EQ(ZelConfigFileGetAllElements(h, all.data()), ZEL_XML_OK);
    EXPECT_NE(all.find("58031601"), std::string::npos);

    ZEL_XML_ELEMENTS element = ZEL_XML_SIGNAL_TYPE;
    unsigned short module = 9, channel = 9;
    EXPECT_EQ(ZelConfigFileValidateElements(h, &element, &module, &channel), ZEL_XML_OK);
    EXPECT_EQ(module, 8) << "the check ran to the last module";

    // A file that fails the check: all three places come back.
    const std::string failing =
        std::string(ZEL_EXAMPLES_DIR) + "/config/missing_ttl_interpolation.xml";
    ASSERT_EQ(ZelConfigFileLoadXml(h, failing.c_str()), ZEL_XML_OK);
    EXPECT_EQ(ZelConfigFileValidateElements(h, &element, &module, &channel), ZEL_XML_TAG_NOT_FOUND);
    EXPECT_EQ(element, ZEL_XML_INTERPOLATION);
    EXPECT_EQ(module, 3);
    EXPECT_EQ(channel, 2);
}

TEST_F(CConfig, EditsAndWritesThroughTheHandle) {
    const fs::path copy = dir / "cell.xml";
    fs::copy_file(kSample, copy);
    ASSERT_EQ(ZelConfigFileLoadXml(h, copy.c_str()), ZEL_XML_OK);
    EXPECT_EQ(ZelConfigFileSetModuleElement(h, "Feed axis", 2, ZEL_XML_LABEL), ZEL_XML_OK);
    EXPECT_EQ(ZelConfigFileSetModuleElement(h, "Feed axis", 2, ZEL_XML_LABEL), ZEL_XML_SAME_DATA);
    EXPECT_EQ(ZelConfigFileSetChannelElement(h, nullptr, 2, 1, ZEL_XML_LABEL),
              ZEL_XML_NULL_POINTER);
    EXPECT_EQ(ZelConfigFileSetChannelElement(h, "Feed 1", 2, 1, ZEL_XML_CHANNEL_LABEL), ZEL_XML_OK);
    EXPECT_EQ(ZelConfigFileRemoveModule(h, 8), ZEL_XML_OK);
    EXPECT_EQ(ZelConfigFileWriteFile(h), ZEL_XML_OK);
    EXPECT_TRUE(fs::exists(copy.string() + "~")) << "the earlier content is kept as a backup";

    ZelConfigHandle again = ZelConfigFileCreate();
    ASSERT_EQ(ZelConfigFileLoadXml(again, copy.c_str()), ZEL_XML_OK);
    char text[256] = {};
    EXPECT_EQ(ZelConfigFileGetModuleElement(again, text, 2, ZEL_XML_LABEL), ZEL_XML_OK);
    EXPECT_STREQ(text, "Feed axis");
    EXPECT_EQ(ZelConfigFileGetChannelElement(again, text, 2, 1, ZEL_XML_CHANNEL_LABEL), ZEL_XML_OK);
    EXPECT_STREQ(text, "Feed 1");
    unsigned short modules = 0;
    EXPECT_EQ(ZelConfigFileGetNumModules(again, &modules), ZEL_XML_OK);
    EXPECT_EQ(modules, 7);
    ZelConfigFileDelete(again);

    // A broken file: its code, and the loaded document stays writable whole.
    const fs::path broken = std::string(ZEL_EXAMPLES_DIR) + "/config/malformed.xml";
    EXPECT_EQ(ZelConfigFileLoadXml(h, broken.c_str()), ZEL_XML_DOM_CREATE_FAILED);
}

TEST_F(CConfig, TheCheckedWriteTellsWhyNothingWasWritten) {
    const fs::path copy = dir / "cell.xml";
    fs::copy_file(kSample, copy);
    char why[512] = "untouched";
    EXPECT_EQ(ZelConfigFileWriteFileChecked(h, why, sizeof why), ZEL_XML_DOM_NOT_CREATED);
    EXPECT_STREQ(why, "no document is loaded");
    ASSERT_EQ(ZelConfigFileLoadXml(h, copy.c_str()), ZEL_XML_OK);
    EXPECT_EQ(ZelConfigFileWriteFileChecked(nullptr, why, sizeof why), ZEL_XML_NULL_POINTER);
    EXPECT_EQ(ZelConfigFileWriteFileChecked(h, nullptr, 8), ZEL_XML_NULL_POINTER);
    EXPECT_EQ(ZelConfigFileWriteNewFileChecked(h, nullptr, why, sizeof why), ZEL_XML_NULL_POINTER);

    const std::string missing = (dir / "nowhere" / "x.xml").string();
    EXPECT_EQ(ZelConfigFileWriteNewFile(h, missing.c_str()), ZEL_XML_OK) << "as specified";
    EXPECT_EQ(ZelConfigFileWriteNewFileChecked(h, missing.c_str(), why, sizeof why),
              ZEL_XML_INVALID_FILE);
    EXPECT_NE(std::strstr(why, "cannot be written"), nullptr) << why;
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(ZelConfigFileWriteNewFileChecked(h, missing.c_str(), small, 5), ZEL_XML_INVALID_FILE);
    EXPECT_EQ(std::string(small, 5), std::string(why, 4) + '\0') << "cut to the size given";
    EXPECT_EQ(small[5], 'x');
    EXPECT_EQ(ZelConfigFileWriteNewFileChecked(h, missing.c_str(), nullptr, 0),
              ZEL_XML_INVALID_FILE);

    EXPECT_EQ(ZelConfigFileSetModuleElement(h, "", 2, ZEL_XML_LABEL), ZEL_XML_OK);
    EXPECT_EQ(ZelConfigFileWriteFileChecked(h, why, sizeof why), ZEL_XML_INVALID_FILE);
    EXPECT_NE(std::strstr(why, "Label of module 2 would be written empty"), nullptr) << why;
    EXPECT_EQ(ZelConfigFileSetModuleElement(h, "Feed axis", 2, ZEL_XML_LABEL), ZEL_XML_OK);
    EXPECT_EQ(ZelConfigFileWriteFileChecked(h, why, sizeof why), ZEL_XML_OK);
    EXPECT_STREQ(why, "");
    EXPECT_TRUE(fs::exists(copy.string() + "~"));
}

}  // namespace
