// The image-file builder.
#include "image_builder.h"

#include <cstdio>
#include <fstream>

namespace zelimage {
namespace {

std::string hexByte(unsigned v) {
    char text[3];
    std::snprintf(text, sizeof(text), "%02X", v & 0xFFu);
    return text;
}

unsigned hexValue(const std::string& line, std::size_t at) {
    return static_cast<unsigned>(std::stoul(line.substr(at, 2), nullptr, 16));
}

}  // namespace

std::string sRecord(int type, std::uint16_t address, const std::vector<std::uint8_t>& data) {
    const unsigned count = static_cast<unsigned>(data.size()) + 3;  // address, data, checksum
    unsigned sum = count + (address >> 8) + (address & 0xFFu);
    std::string line =
        "S" + std::to_string(type) + hexByte(count) + hexByte(address >> 8) + hexByte(address);
    for (std::uint8_t b : data) {
        line += hexByte(b);
        sum += b;
    }
    return line + hexByte(0xFFu - (sum & 0xFFu));
}

std::vector<std::string> syntheticRecords(const std::string& name, const std::string& version,
                                          std::size_t dataBytes, std::uint32_t seed) {
    std::vector<std::string> records;
    const std::string title = name + " " + version;
    records.push_back(sRecord(0, 0, std::vector<std::uint8_t>(title.begin(), title.end())));
    std::uint32_t x = seed == 0 ? 1 : seed;
    std::uint16_t address = 0x1000;
    for (std::size_t done = 0; done < dataBytes;) {
        std::vector<std::uint8_t> data;
        for (int i = 0; i < 16 && done < dataBytes; ++i, ++done) {
            x ^= x << 13;  // xorshift: repeatable and cheap
            x ^= x >> 17;
            x ^= x << 5;
            data.push_back(static_cast<std::uint8_t>(x));
        }
        records.push_back(sRecord(1, address, data));
        address = static_cast<std::uint16_t>(address + data.size());
    }
    records.push_back(sRecord(9, 0x1000, {}));
    return records;
}

std::uint32_t dataChecksum(const std::vector<std::string>& records) {
    std::uint32_t sum = 0;
    for (const std::string& r : records) {
        if (r.size() < 4 || r[0] != 'S' || r[1] < '1' || r[1] > '3') continue;
        const unsigned count = hexValue(r, 2);
        const std::size_t addressBytes = static_cast<std::size_t>(r[1] - '0') + 1;
        for (std::size_t i = addressBytes; i + 1 < count; ++i) sum += hexValue(r, 4 + 2 * i);
    }
    return sum;
}

Image bootloaderImage(const std::string& version, std::size_t dataBytes) {
    return {
        kBootloaderName, "Bootloader", "1",
        version,         "2026-12-01", syntheticRecords(kBootloaderName, version, dataBytes, 7)};
}

Image firmwareImage(const std::string& version, int priorityClass, std::size_t dataBytes) {
    const char* name = priorityClass == 2 ? kFirmwareP2Name : kFirmwareName;
    return {name,
            "Firmware",
            std::to_string(priorityClass),
            version,
            "2026-12-01",
            syntheticRecords(name, version, dataBytes, priorityClass == 2 ? 23 : 11)};
}

std::string withFinalChecksum(const std::string& body) {
    std::uint32_t sum = 0;
    for (char c : body)
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    return body + "ZEL_FINAL_CHECKSUM: " + std::to_string(0u - sum) + "\n";
}

std::string buildFile(const std::vector<Image>& images, const std::string& datVersion, bool crlf) {
    // The text as read in text mode (LF) gives sizes and checksums.
    std::string text = "ZEL_DAT_VERSION: " + datVersion + "\n";
    for (const Image& image : images) {
        std::size_t size = 0;
        for (const std::string& r : image.records) size += r.size() + 1;
        text += "ZEL_NAME: " + image.name + "\n";
        text += "ZEL_IMAGE_TYPE: " + image.imageType + "\n";
        text += "ZEL_MODULE_PRIORITY: " + image.priority + "\n";
        text += "ZEL_VERSION: " + image.version + "\n";
        text += "ZEL_DATE: " + image.date + "\n";
        text += "ZEL_FILE_SIZE_BYTES: " + std::to_string(size) + "\n";
        text += "ZEL_CHECKSUM: " + std::to_string(dataChecksum(image.records)) + "\n";
    }
    for (const Image& image : images) {
        text += "ZEL_DATA_START: " + image.name + "\n";
        for (const std::string& r : image.records) text += r + "\n";
        text += "ZEL_DATA_END: " + image.name + "\n";
    }
    text = withFinalChecksum(text);
    if (!crlf) return text;
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace zelimage
