/// @file
/// Export marker of the station library. Like the library below it, the
/// station is built with hidden symbol visibility; what carries
/// ZEL_STATION_API is its binary interface. Programs that link the static
/// station library define ZEL_STATION_STATIC on Windows.
#ifndef ZEL_STATION_EXPORT_H
#define ZEL_STATION_EXPORT_H

#if defined(_WIN32)
#if defined(ZEL_BUILDING_STATION)
#define ZEL_STATION_API __declspec(dllexport)
#elif defined(ZEL_STATION_STATIC)
#define ZEL_STATION_API
#else
#define ZEL_STATION_API __declspec(dllimport)
#endif
#else
/// Marks a class or function as part of the station library's interface.
#define ZEL_STATION_API __attribute__((visibility("default")))
#endif

#endif  // ZEL_STATION_EXPORT_H
