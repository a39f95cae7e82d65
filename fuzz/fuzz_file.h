// The fuzz input as a file of this process's own, for the surfaces that
// read files by name.
#ifndef ZEL_FUZZ_FILE_H
#define ZEL_FUZZ_FILE_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

inline std::string fuzzPath(const char* suffix) {
    return "/tmp/zel_fuzz_" + std::to_string(getpid()) + suffix;
}

inline std::string writeFuzzFile(const std::uint8_t* data, std::size_t size, const char* suffix) {
    const std::string path = fuzzPath(suffix);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) __builtin_trap();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) __builtin_trap();
    std::fclose(f);
    return path;
}

#endif  // ZEL_FUZZ_FILE_H
