// A recording's rotation limit as zeltool's --rotate and zelstation's
// settings give it: a size ("64k", "100M", "2G", at least 16k) or a
// duration ("90s", "15min", "1h", at least 1 s).
#ifndef ZEL_TOOLS_ZEL_ROTATION_H
#define ZEL_TOOLS_ZEL_ROTATION_H

#include <cstdlib>
#include <string>
#include <utility>

inline bool zelRotationLimit(const std::string& text, unsigned long long& bytes,
                             long long& seconds) {
    char* end = nullptr;
    const double n = std::strtod(text.c_str(), &end);
    const std::string unit = end ? end : "";
    if (end == text.c_str() || !(n > 0) || n > 1e12) return false;
    const std::pair<const char*, double> sizes[] = {
        {"k", 1024.0}, {"M", 1024.0 * 1024}, {"G", 1024.0 * 1024 * 1024}};
    const std::pair<const char*, double> durations[] = {{"s", 1}, {"min", 60}, {"h", 3600}};
    for (const auto& [name, scale] : sizes) {
        if (unit == name && n * scale >= 16 * 1024) {
            bytes = static_cast<unsigned long long>(n * scale);
            return true;
        }
    }
    for (const auto& [name, scale] : durations) {
        if (unit == name && n * scale >= 1) {
            seconds = static_cast<long long>(n * scale);
            return true;
        }
    }
    return false;
}

#endif  // ZEL_TOOLS_ZEL_ROTATION_H
