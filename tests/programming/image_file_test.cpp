// Image files: the header reader, the validation before anything is sent,
// and the builder's files, on crafted files and on built ones.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "image_builder.h"
#include "programming/zel_programming.h"
#include "test_folder.h"
// clang-format off
#include "capi/zel_capi.h"  // after the C++ headers
// clang-format on

namespace {

namespace fs = std::filesystem;

class ImageFile : public ::testing::Test {
  protected:
    void SetUp() override { dir = zeltest::testFolder("zelimage-"); }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const std::string& name, const std::string& text) {
        const std::string path = (dir / name).string();
        EXPECT_TRUE(zelimage::writeFile(path, text));
        return path;
    }
    ZEL_RESPONSE_CODE version(const std::string& path, PROGRAMMING_TYPE type, std::string* text,
                              PROGRAMMING_PRIORITY_LEVEL level = PRIORITY_LEVEL_1) {
        char out[64] = "none";
        ZEL_RESPONSE_CODE code = engine.getProgramVersion(path.c_str(), type, out, level).getCode();
        if (text != nullptr) *text = out;
        return code;
    }
    static std::string block(const std::string& name, const std::string& type,
                             const std::string& v) {
        return "ZEL_NAME: " + name + "\nZEL_IMAGE_TYPE: " + type +
               "\nZEL_MODULE_PRIORITY: 1\nZEL_VERSION: " + v +
               "\nZEL_DATE: 2026-12-01\nZEL_FILE_SIZE_BYTES: 10\nZEL_CHECKSUM: 7\n";
    }
    fs::path dir;
    ZelProgramming engine{nullptr};
};

TEST_F(ImageFile, BuiltFilesValidateAndCarryTheirVersions) {
    const std::string firmware =
        file("fw.dat", zelimage::buildFile({zelimage::firmwareImage("2.4.0", 1),
                                            zelimage::firmwareImage("1.1.0", 2)}));
    std::string text;
    ASSERT_EQ(version(firmware, PROGRAMMING_FIRMWARE, &text), ZEL_OK);
    EXPECT_EQ(text, "2.4.0");
    ASSERT_EQ(version(firmware, PROGRAMMING_FIRMWARE, &text, PRIORITY_LEVEL_2), ZEL_OK);
    EXPECT_EQ(text, "1.1.0");
    EXPECT_EQ(version(firmware, PROGRAMMING_BOOTLOADER, &text), ZEL_IMAGE_INVALID);

    ProgramFileHeader headers[2] = {};
    ASSERT_TRUE(
        ZelProgramming::getProgramFileHeaders(firmware.c_str(), PROGRAMMING_FIRMWARE, headers, 2));
    EXPECT_STREQ(headers[1].name, "ZELfirmwareP2.elf.S19");
    EXPECT_STREQ(headers[0].datVersion, "1.0");
    const zelimage::Image p2 = zelimage::firmwareImage("1.1.0", 2);
    std::size_t size = 0;
    for (const auto& r : p2.records) size += r.size() + 1;
    EXPECT_EQ(headers[1].fileSizeBytes, size);
    EXPECT_EQ(headers[1].checksum, zelimage::dataChecksum(p2.records));

    // CR LF line ends read as LF: the sizes and checksums still hold.
    const std::string crlf =
        file("bl.dat", zelimage::buildFile({zelimage::bootloaderImage("1.0.4")}, "1.0", true));
    ASSERT_EQ(version(crlf, PROGRAMMING_BOOTLOADER, &text), ZEL_OK);
    EXPECT_EQ(text, "1.0.4");
    EXPECT_EQ(version(crlf, PROGRAMMING_FIRMWARE, &text), ZEL_IMAGE_INVALID);
}

TEST_F(ImageFile, HeaderBlocksMustBeCompleteAndInOrder) {
    std::string broken = block("ZELbootloader.elf.S19", "Bootloader", "1.0.0");
    broken.replace(broken.find("ZEL_VERSION: "), 13, "ZEL_VERSON: ");
    const std::string missing = file("missing.dat", broken);
    ProgramFileHeader h[2] = {};
    EXPECT_FALSE(
        ZelProgramming::getProgramFileHeaders(missing.c_str(), PROGRAMMING_BOOTLOADER, h, 1));
    EXPECT_EQ(version(missing, PROGRAMMING_BOOTLOADER, nullptr), ZEL_FILE_PREPARATION_FAILED);

    std::string swapped = block("ZELbootloader.elf.S19", "Bootloader", "1.0.0");
    const std::size_t date = swapped.find("ZEL_DATE");
    const std::size_t size = swapped.find("ZEL_FILE_SIZE");
    swapped = swapped.substr(0, date) + swapped.substr(size, swapped.find("ZEL_CHECKSUM") - size) +
              swapped.substr(date, size - date) + swapped.substr(swapped.find("ZEL_CHECKSUM"));
    EXPECT_FALSE(ZelProgramming::getProgramFileHeaders(file("swapped.dat", swapped).c_str(),
                                                       PROGRAMMING_BOOTLOADER, h, 1));
    EXPECT_EQ(version((dir / "none.dat").string(), PROGRAMMING_BOOTLOADER, nullptr),
              ZEL_FILE_PREPARATION_FAILED);
    EXPECT_FALSE(ZelProgramming::getProgramFileHeaders(nullptr, PROGRAMMING_BOOTLOADER, h, 1));

    // Values lose their key and fold their white space; one of 64 bytes or
    // more leaves the field as it was.
    std::string spaced = block("ZELbootloader.elf.S19", "Bootloader", "1.0.0");
    spaced.replace(spaced.find("ZEL_VERSION: 1.0.0"), 18, "ZEL_VERSION:   1.2.3 ");
    spaced.replace(spaced.find("ZEL_DATE: 2026-12-01"), 20, "ZEL_DATE: " + std::string(63, 'd'));
    std::memset(h, 0, sizeof(h));
    ASSERT_TRUE(ZelProgramming::getProgramFileHeaders(file("spaced.dat", spaced).c_str(),
                                                      PROGRAMMING_BOOTLOADER, h, 1));
    EXPECT_STREQ(h[0].version, "1.2.3");
    EXPECT_STREQ(h[0].date, "");
    EXPECT_EQ(h[0].fileSizeBytes, 10u);

    // An empty file has no header and passes; so does a lone checksum of 0.
    EXPECT_TRUE(ZelProgramming::getProgramFileHeaders(file("empty.dat", "").c_str(),
                                                      PROGRAMMING_FIRMWARE, h, 2));
    EXPECT_EQ(version(file("empty2.dat", ""), PROGRAMMING_FIRMWARE, nullptr), ZEL_OK);
    EXPECT_EQ(version(file("zero.dat", "ZEL_FINAL_CHECKSUM: 0\n"), PROGRAMMING_BOOTLOADER, nullptr),
              ZEL_OK);
    char out[64];
    EXPECT_EQ(
        engine.getProgramVersion(nullptr, PROGRAMMING_FIRMWARE, out, PRIORITY_LEVEL_1).getCode(),
        ZEL_NULL_POINTER);
}

TEST_F(ImageFile, AReusedEngineKeepsWhatANewFileDoesNotReplace) {
    const std::string firmware =
        file("fw.dat", zelimage::buildFile({zelimage::firmwareImage("2.4.0", 1),
                                            zelimage::firmwareImage("1.1.0", 2)}));
    std::string text;
    ASSERT_EQ(version(firmware, PROGRAMMING_FIRMWARE, &text), ZEL_OK);
    // A bootloader file fills header 0 only: header 1 still holds the
    // firmware's class 2 version.
    const std::string bootloader =
        file("bl.dat", zelimage::buildFile({zelimage::bootloaderImage("1.0.4")}));
    ASSERT_EQ(version(bootloader, PROGRAMMING_BOOTLOADER, &text), ZEL_OK);
    EXPECT_EQ(text, "1.0.4");
    ASSERT_EQ(version(bootloader, PROGRAMMING_BOOTLOADER, &text, PRIORITY_LEVEL_2), ZEL_OK);
    EXPECT_EQ(text, "1.1.0");
    // A version of 64 bytes or more is not stored: the field keeps 1.0.4.
    std::string longVersion = block("ZELbootloader.elf.S19", "Bootloader", std::string(70, '9'));
    ASSERT_EQ(version(file("long.dat", longVersion), PROGRAMMING_BOOTLOADER, &text), ZEL_OK);
    EXPECT_EQ(text, "1.0.4");
}

TEST_F(ImageFile, ForeignMarkersAndChecksums) {
    // A bootloader file that mentions the class 2 firmware, even in a comment.
    const std::string text = zelimage::buildFile({zelimage::bootloaderImage("1.0.4")});
    const std::string comment = "# see ZEL_NAME: ZELfirmwareP2.elf.S19 for the firmware\n";
    std::string withComment = text.substr(0, text.find("ZEL_FINAL_CHECKSUM")) + comment;
    EXPECT_EQ(version(file("foreign.dat", zelimage::withFinalChecksum(withComment)),
                      PROGRAMMING_BOOTLOADER, nullptr),
              ZEL_IMAGE_INVALID);

    // Lines A, B, C: 65 + 10 + 66 + 10 + 67 + 10 = 228.
    EXPECT_EQ(version(file("abc.dat", "A\nB\nC\nZEL_FINAL_CHECKSUM: 4294967068\n"),
                      PROGRAMMING_BOOTLOADER, nullptr),
              ZEL_OK);
    EXPECT_EQ(version(file("abc1.dat", "A\nB\nC\nZEL_FINAL_CHECKSUM: 4294967069\n"),
                      PROGRAMMING_BOOTLOADER, nullptr),
              ZEL_CHECKSUM_FAILED);
    // Bytes above 127 count as negative: 0xFF is -1, so S = 9.
    EXPECT_EQ(version(file("high.dat", "\xFF\nZEL_FINAL_CHECKSUM: 4294967287\n"),
                      PROGRAMMING_BOOTLOADER, nullptr),
              ZEL_OK);
    EXPECT_EQ(version(file("unsigned.dat", "\xFF\nZEL_FINAL_CHECKSUM: 4294967031\n"),
                      PROGRAMMING_BOOTLOADER, nullptr),
              ZEL_CHECKSUM_FAILED);
    std::string offByOne = text;
    const std::size_t at = offByOne.find("ZEL_FINAL_CHECKSUM: ") + 20;
    offByOne.replace(at, offByOne.size() - at - 1,
                     std::to_string(std::stoul(offByOne.substr(at)) + 1));
    EXPECT_EQ(version(file("off.dat", offByOne), PROGRAMMING_BOOTLOADER, nullptr),
              ZEL_CHECKSUM_FAILED);
}

TEST(ProgrammingVersions, TheRuleOfNewVersions) {
    EXPECT_FALSE(ZelProgramming::isNewVersion(1, 0, 2, 1));
    EXPECT_TRUE(ZelProgramming::isNewVersion(1, 0, 3, 1));
    EXPECT_TRUE(ZelProgramming::isNewVersion(1, 1, 0, 1));
    EXPECT_TRUE(ZelProgramming::isNewVersion(2, 0, 0, 0));
    EXPECT_FALSE(ZelProgramming::isNewVersion(0, 9, 9, 1));
    EXPECT_FALSE(ZelProgramming::isNewVersion(0, 9, 0, 2)) << "class 2 firmware from 1.0.0 on";
    EXPECT_TRUE(ZelProgramming::isNewVersion(1, 0, 0, 2));
    EXPECT_TRUE(ZelProgramming::isNewVersion(99, 0, 0, 1)) << "an unreported version counts as new";
}

// The whole-file check: what would stop an update half way is found before
// anything is sent, and a good file passes (as a library call and through
// the C interface, which also compares the kind of image).
TEST_F(ImageFile, TheWholeFileCheckFindsWhatWouldStopAnUpdateHalfWay) {
    const std::string good = zelimage::buildFile(
        {zelimage::firmwareImage("2.4.0", 1, 4096), zelimage::firmwareImage("2.4.0", 2, 4096)});
    std::string badRecord = good;
    badRecord[badRecord.find("\nS1") + 12] ^= 1;
    badRecord = zelimage::withFinalChecksum(badRecord.substr(0, badRecord.find("ZEL_FINAL")));
    std::string badSum = good;
    badSum[badSum.find("\nS1") + 12] ^= 1;
    struct Case {
        const char* name;
        std::string text;
        int code;
        const char* says;
    } cases[] = {
        {"good", good, 0, ""},
        {"cut as head -c 9000 cuts it", good.substr(0, 9000), 27, "cut short"},
        {"no final checksum", good.substr(0, good.find("ZEL_FINAL")), 27, "no ZEL_FINAL_CHECKSUM"},
        {"a record's own checksum", badRecord, 27, "S-record checksum is wrong"},
        {"a changed byte", badSum, ZEL_CHECKSUM_FAILED, "The checksum failed (code 41)"},
        {"no header", "S00600004844521B\n", 27, "no header block"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = file("fw.dat", c.text);
        bool bootloader = true;
        std::vector<ProgramFileProblem> problems;
        EXPECT_EQ(ZelProgramming::checkProgramFile(path.c_str(), &bootloader, &problems).getCode(),
                  c.code);
        std::string all;
        for (const ProgramFileProblem& p : problems) all += p.text + "\n";
        EXPECT_EQ(problems.empty(), c.code == 0) << all;
        EXPECT_NE(all.find(c.says), std::string::npos) << all;
        EXPECT_FALSE(bootloader);

        char why[256];
        EXPECT_EQ(ZelModuleCheckProgramFile(path.c_str(), false, why, sizeof why), c.code);
        EXPECT_EQ(std::string(why).find(c.says) != std::string::npos, all.find(c.says) < 200)
            << why;
    }
    const std::string path = file("fw.dat", good);
    char why[256] = "x";
    EXPECT_EQ(ZelModuleCheckProgramFile(path.c_str(), true, why, sizeof why), ZEL_IMAGE_INVALID);
    EXPECT_STREQ(why, "the file holds firmware, not a bootloader image\n");
    EXPECT_EQ(ZelModuleCheckProgramFile(path.c_str(), true, why, 9), ZEL_IMAGE_INVALID);
    EXPECT_STREQ(why, "the file");
    EXPECT_EQ(ZelModuleCheckProgramFile(path.c_str(), false, nullptr, 0), 0);
    EXPECT_EQ(ZelModuleCheckProgramFile(nullptr, false, why, sizeof why), ZEL_NULL_POINTER);
    EXPECT_EQ(ZelModuleCheckProgramFile(path.c_str(), false, nullptr, 5), ZEL_NULL_POINTER);
    EXPECT_EQ(
        ZelModuleCheckProgramFile((dir / "none.dat").string().c_str(), false, why, sizeof why), 27);
    EXPECT_STREQ(why, "cannot be opened\n");
    EXPECT_EQ(ZelModuleCheckProgramFile("", false, why, sizeof why), 27);
    bool bootloader = false;
    EXPECT_EQ(ZelProgramming::checkProgramFile(path.c_str(), &bootloader, nullptr).getCode(),
              ZEL_NULL_POINTER);
}

}  // namespace
