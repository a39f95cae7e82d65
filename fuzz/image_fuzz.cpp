// Firmware image files: the header blocks, the validation and the versions
// of both levels. Beyond not crashing: a version text always ends within
// its 64 bytes, and a header's fields are terminated texts.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_file.h"
#include "programming/zel_programming.h"
#include "transport/zel_comm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = writeFuzzFile(data, size, ".dat");
    ProgramFileHeader headers[2];
    for (auto type : {PROGRAMMING_FIRMWARE, PROGRAMMING_BOOTLOADER}) {
        std::memset(headers, 0, sizeof(headers));
        ZelProgramming::getProgramFileHeaders(path.c_str(), type, headers, 2);
        ZelComm comm;
        ZelProgramming engine(&comm);
        for (auto level : {PRIORITY_LEVEL_1, PRIORITY_LEVEL_2}) {
            char version[80];
            std::memset(version, 0x55, sizeof(version));
            (void)engine.getProgramVersion(path.c_str(), type, version, level);
            if (std::memchr(version, 0, 64) == nullptr && version[0] != 0x55) __builtin_trap();
        }
    }
    return 0;
}
