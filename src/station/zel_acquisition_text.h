/// @file
/// The words for an acquisition's records, as the tools and the station's
/// servers write them: the record kinds, the health states, how a lost
/// module came back; and a text quoted as a JSON string.
#ifndef ZEL_STATION_ZEL_ACQUISITION_TEXT_H
#define ZEL_STATION_ZEL_ACQUISITION_TEXT_H

#include <cstdio>
#include <ctime>
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

/// A UTC time in microseconds since 1970 as ISO 8601 with microseconds:
/// "2026-12-07T23:10:00.123456Z".
inline std::string zelIsoUtc(long long utcUs) {
    const std::time_t seconds = static_cast<std::time_t>(utcUs / 1000000);
    std::tm parts{};
#if defined(_WIN32)
    gmtime_s(&parts, &seconds);
#else
    gmtime_r(&seconds, &parts);
#endif
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  ((utcUs % 1000000) + 1000000) % 1000000);
    return text;
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

/// The fields an event record carries beyond its kind, time and sequence,
/// as JSON members each led by a comma: a count of missed deadlines or
/// overflows; a module's position with its health change, gap or
/// restoration; an asynchronous message's type with its latch inputs (type
/// 22) or its channel and status. `spaced`: ", " and ": " between them, as
/// the tools print them for people; else "," and ":".
inline std::string zelAcqEventFields(const ZelAcqRecord& r, bool spaced) {
    const std::string comma = spaced ? ", " : ",";
    const std::string colon = spaced ? ": " : ":";
    const auto field = [&](const char* name, const std::string& value) {
        return comma + "\"" + name + "\"" + colon + value;
    };
    const auto whole = [](auto v) { return std::to_string(v); };
    std::string j;
    switch (r.kind) {
        case ZEL_ACQ_MISSED:
        case ZEL_ACQ_OVERFLOW:
            j += field("count", whole(r.count));
            break;
        case ZEL_ACQ_HEALTH:
            j += field("position", whole(r.position)) +
                 field("from", zelJsonText(zelAcqHealthName(r.previous))) +
                 field("to", zelJsonText(zelAcqHealthName(r.health))) +
                 field("code", whole(r.code)) +
                 field("returned", zelJsonText(zelAcqReturnName(r.returned)));
            break;
        case ZEL_ACQ_GAP:
            j += field("position", whole(r.position)) + field("count", whole(r.count)) +
                 field("returned", zelJsonText(zelAcqReturnName(r.returned)));
            break;
        case ZEL_ACQ_RESTORED:
            j += field("position", whole(r.position)) + field("code", whole(r.code));
            break;
        case ZEL_ACQ_ASYNC:
            j += field("position", whole(r.position)) + field("message", whole(r.messageType));
            if (r.messageType == 22) {
                std::string inputs = "[";
                for (int b = 0; b < 5; ++b) inputs += (b ? "," : "") + whole(r.latch[b]);
                j += field("latch", inputs + "]");
            } else {
                j += field("channel", whole(r.channel)) + field("status", whole(r.status));
            }
            break;
        default:
            break;
    }
    return j;
}

#endif  // ZEL_STATION_ZEL_ACQUISITION_TEXT_H
