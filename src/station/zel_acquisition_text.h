/// @file
/// The words for an acquisition's records, as the tools and the station's
/// servers write them: the record kinds, the health states, how a lost
/// module came back; and a text quoted as a JSON string.
#ifndef ZEL_STATION_ZEL_ACQUISITION_TEXT_H
#define ZEL_STATION_ZEL_ACQUISITION_TEXT_H

#include <cstdio>
#include <string>

#include "station/zel_acquisition_records.h"

/// "sample", "missed", "overflow", "health", "gap", "async", "restored"
/// (else "unknown").
inline const char* zelAcqKindName(int kind) {
    static const char* const names[] = {"sample", "missed", "overflow", "health",
                                        "gap",    "async",  "restored"};
    return kind >= 0 && kind < 7 ? names[kind] : "unknown";
}

/// "ok", "failing", "lost", "back"; "not sampled" for any other value (a
/// module that is not measuring, or missing).
inline const char* zelAcqHealthName(int health) {
    switch (health) {
        case ZEL_ACQ_HEALTH_OK:
            return "ok";
        case ZEL_ACQ_HEALTH_FAILING:
            return "failing";
        case ZEL_ACQ_HEALTH_LOST:
            return "lost";
        case ZEL_ACQ_HEALTH_BACK:
            return "back";
        default:
            return "not sampled";
    }
}

/// "settings intact", "rebooted", "bootloader"; "" when not a return.
inline const char* zelAcqReturnName(int returned) {
    switch (returned) {
        case ZEL_ACQ_RETURN_INTACT:
            return "settings intact";
        case ZEL_ACQ_RETURN_REBOOTED:
            return "rebooted";
        case ZEL_ACQ_RETURN_BOOTLOADER:
            return "bootloader";
        default:
            return "";
    }
}

/// `text` as a JSON string, quotes included: quote and backslash escaped,
/// control characters as \\u00XX.
inline std::string zelJsonText(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

#endif  // ZEL_STATION_ZEL_ACQUISITION_TEXT_H
