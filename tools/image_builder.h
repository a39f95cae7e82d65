// Writes bootloader and firmware image files from S-record data: synthetic
// but well-formed S19 records (an S0 record naming the image and its
// version, S1 data records with their own checksums, an S9 end record),
// the header blocks with the sizes and checksums the records give, and the
// final file checksum. Tests, benchmarks and zeltool use it; the simulator
// checks what it receives against the same rules, written on its own.
#ifndef ZEL_TOOLS_IMAGE_BUILDER_H
#define ZEL_TOOLS_IMAGE_BUILDER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelimage {

constexpr char kBootloaderName[] = "ZELbootloader.elf.S19";
constexpr char kFirmwareName[] = "ZELfirmware.elf.S19";
constexpr char kFirmwareP2Name[] = "ZELfirmwareP2.elf.S19";

struct Image {
    std::string name;       // one of the three image names
    std::string imageType;  // "Bootloader" or "Firmware"
    std::string priority;   // priority class text
    std::string version;    // "major.minor.patch"
    std::string date = "2026-12-01";
    std::vector<std::string> records;  // S-record lines without line ends
};

// S0 with "<name> <version>", then data records of 16 bytes from a
// repeatable pseudo-random stream, from address 0x1000, then S9.
std::vector<std::string> syntheticRecords(const std::string& name, const std::string& version,
                                          std::size_t dataBytes, std::uint32_t seed);
// One S-record line of the given type (0, 1 or 9) for a 16-bit address.
std::string sRecord(int type, std::uint16_t address, const std::vector<std::uint8_t>& data);

// The image checksum the header carries: the 32-bit sum of the data bytes
// of the S1, S2 and S3 records.
std::uint32_t dataChecksum(const std::vector<std::string>& records);

Image bootloaderImage(const std::string& version, std::size_t dataBytes = 512);
Image firmwareImage(const std::string& version, int priorityClass, std::size_t dataBytes = 512);

// The whole file text (LF line ends, or CR LF when asked; the sizes and the
// final checksum are those of the file as read in text mode).
std::string buildFile(const std::vector<Image>& images, const std::string& datVersion = "1.0",
                      bool crlf = false);
// Appends the final checksum line to text that has none (LF line ends).
std::string withFinalChecksum(const std::string& body);
// Writes the text to a file, replacing it. False when it cannot be written.
bool writeFile(const std::string& path, const std::string& text);

}  // namespace zelimage

#endif  // ZEL_TOOLS_IMAGE_BUILDER_H
