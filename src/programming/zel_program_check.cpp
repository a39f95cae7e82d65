// ZelProgramming: the whole-file check of an image, for what the validation
// before an update leaves open: a file cut short, a data section without
// its markers or of the wrong size, S-records with a wrong checksum, lines
// too long to be sent, a missing final checksum, a version that is not
// three numbers. It ends with that validation itself, so a file that passes
// can be programmed.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

#include "foundation/result_helpers.h"
#include "programming/zel_programming.h"

namespace {

constexpr std::size_t kLongestLine = 200;  // bytes with the LF; longer lines are never sent

struct Header {
    int line = 0;
    std::string name;
    std::string type;
    std::string version;
    unsigned long sizeBytes = 0;
    bool hasSize = false;
};

struct Section {
    int startLine = 0;
    int endLine = 0;
    unsigned long bytes = 0;
};

std::string valueAfter(const std::string& line, const char* key) {
    const std::size_t at = line.find(key);
    std::string v = line.substr(at + std::strlen(key));
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.pop_back();
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.erase(0, 1);
    return v;
}

int hexByte(const std::string& s, std::size_t at) {
    if (at + 1 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[at])) ||
        !std::isxdigit(static_cast<unsigned char>(s[at + 1]))) {
        return -1;
    }
    return static_cast<int>(std::strtol(s.substr(at, 2).c_str(), nullptr, 16));
}

// Empty when the line is an S-record whose byte count and checksum hold.
std::string recordProblem(const std::string& record) {
    if (record.size() < 4 || record[0] != 'S' || record[1] < '0' || record[1] > '9')
        return "not an S-record";
    const int count = hexByte(record, 2);
    if (count < 3 || record.size() != 4 + 2 * static_cast<std::size_t>(count)) {
        return "S-record length does not match its byte count";
    }
    unsigned sum = 0;
    for (int i = 0; i < count + 1; ++i) {
        const int b = hexByte(record, 2 + 2 * static_cast<std::size_t>(i));
        if (b < 0) return "S-record holds a character that is no hexadecimal digit";
        sum += static_cast<unsigned>(b);
    }
    return (sum & 0xFF) == 0xFF ? "" : "S-record checksum is wrong";
}

// Empty when the text is three decimal numbers joined by dots ("2.4.0").
std::string versionProblem(const std::string& version) {
    int parts = 0;
    std::size_t digits = 0;
    for (const char c : version) {
        if (c >= '0' && c <= '9' && digits < 3) {
            ++digits;
        } else if (c == '.' && digits > 0) {
            ++parts;
            digits = 0;
        } else {
            digits = 4;  // anything else spoils it
            break;
        }
    }
    if (digits > 0 && digits <= 3 && parts == 2) return "";
    return "'" + version + "' is not a version of three numbers, as 2.4.0";
}

using Problems = std::vector<ProgramFileProblem>;

// The structure of the file line by line; the type of its first header
// into `bootloader`.
Problems structureProblems(const char* file, bool* bootloader) {
    Problems problems;
    std::ifstream in(file, std::ios::binary);
    if (!in) return {{0, "cannot be opened"}};
    std::vector<Header> headers;
    std::map<std::string, Section> sections;
    std::string open;  // the name of the section being read
    bool finalChecksum = false;
    int lineNumber = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!open.empty()) {
            if (line.find("ZEL_DATA_END: ") != std::string::npos) {
                if (valueAfter(line, "ZEL_DATA_END: ") != open) {
                    problems.push_back(
                        {lineNumber,
                         "the end marker of another image inside the section of " + open});
                }
                sections[open].endLine = lineNumber;
                open.clear();
                continue;
            }
            if (line.find("ZEL_") != std::string::npos) {
                problems.push_back({lineNumber, "the data section of " + open +
                                                    " has no end marker before this line"});
                sections[open].endLine = -1;
                open.clear();
            } else {
                sections[open].bytes += line.size() + 1;
                if (line.size() + 1 > kLongestLine) {
                    problems.push_back(
                        {lineNumber, "data line of " + std::to_string(line.size() + 1) +
                                         " bytes, longer than the 200 a module takes"});
                } else if (const std::string p = recordProblem(line); !p.empty()) {
                    problems.push_back({lineNumber, p});
                }
                continue;
            }
        }
        if (line.find("ZEL_NAME: ") != std::string::npos) {
            Header h;
            h.line = lineNumber;
            h.name = valueAfter(line, "ZEL_NAME: ");
            headers.push_back(h);
        } else if (line.find("ZEL_IMAGE_TYPE: ") != std::string::npos && !headers.empty()) {
            headers.back().type = valueAfter(line, "ZEL_IMAGE_TYPE: ");
        } else if (line.find("ZEL_VERSION: ") != std::string::npos && !headers.empty()) {
            headers.back().version = valueAfter(line, "ZEL_VERSION: ");
            if (const std::string p = versionProblem(headers.back().version); !p.empty()) {
                problems.push_back({lineNumber, "version " + p});
            }
        } else if (line.find("ZEL_FILE_SIZE_BYTES: ") != std::string::npos && !headers.empty()) {
            headers.back().sizeBytes =
                std::strtoul(valueAfter(line, "ZEL_FILE_SIZE_BYTES: ").c_str(), nullptr, 10);
            headers.back().hasSize = true;
        } else if (line.find("ZEL_DATA_START: ") != std::string::npos) {
            open = valueAfter(line, "ZEL_DATA_START: ");
            sections[open] = Section{lineNumber, 0, 0};
        } else if (line.find("ZEL_FINAL_CHECKSUM: ") != std::string::npos) {
            finalChecksum = true;
        }
    }
    if (!open.empty()) {
        problems.push_back(
            {lineNumber, "the file ends inside the data section of " + open + " (cut short?)"});
        sections[open].endLine = -1;
    }
    if (headers.empty()) {
        problems.push_back({0, "no header block (ZEL_NAME: ...)"});
        return problems;
    }
    *bootloader = headers.front().type == "Bootloader";
    const std::size_t wanted = *bootloader ? 1 : 2;
    if (headers.size() != wanted) {
        problems.push_back({0, std::to_string(headers.size()) + " header blocks; a " +
                                   (*bootloader ? "bootloader file holds 1"
                                                : "firmware file holds 2 (class 1, class 2)")});
    }
    for (const Header& h : headers) {
        const auto s = sections.find(h.name);
        if (s == sections.end()) {
            problems.push_back({h.line, "no data section for " + h.name});
            continue;
        }
        if (s->second.endLine == 0)
            problems.push_back({s->second.startLine, "no end marker for " + h.name});
        if (s->second.endLine > 0 && h.hasSize && s->second.bytes != h.sizeBytes) {
            problems.push_back({s->second.startLine, "the data section of " + h.name + " holds " +
                                                         std::to_string(s->second.bytes) +
                                                         " bytes, its header says " +
                                                         std::to_string(h.sizeBytes)});
        }
    }
    if (!finalChecksum)
        problems.push_back({lineNumber, "no ZEL_FINAL_CHECKSUM line at the end (cut short?)"});
    return problems;
}

}  // namespace

ZelResults ZelProgramming::checkProgramFile(const char* file, bool* isBootloader,
                                            std::vector<ProgramFileProblem>* problems) {
    static constexpr char kMethod[] = "ZelProgramming::checkProgramFile";
    if (file == nullptr || isBootloader == nullptr || problems == nullptr) {
        return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    }
    problems->clear();
    *isBootloader = false;
    if (*file == '\0') {
        problems->push_back({0, "no file name was given"});
        return ZEL_RESULT(ZEL_FILE_PREPARATION_FAILED, kMethod);
    }
    *problems = structureProblems(file, isBootloader);
    // The validation an update runs first, on each image of the file.
    ZelProgramming engine(nullptr);
    ZelResults validation = ZEL_RESULT(ZEL_OK, kMethod);
    const bool opened = problems->empty() || problems->front().text != "cannot be opened";
    if (opened) {
        validation = engine.validateFile(file, *isBootloader);
        if (!validation.ok()) {
            problems->push_back({0, std::string(*isBootloader ? "bootloader" : "firmware") +
                                        " file: " + ZelResults::showRespCode(validation.code()) +
                                        " (code " + std::to_string(validation.code()) + ")"});
        }
    }
    if (problems->empty()) return ZEL_RESULT(ZEL_OK, kMethod);
    if (!validation.ok()) return ZEL_RESULT(validation.code(), kMethod);
    return ZEL_RESULT(ZEL_FILE_PREPARATION_FAILED, kMethod);
}
