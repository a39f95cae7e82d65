/// @file
/// Export markers of the library. The library is built with hidden symbol
/// visibility; only what carries ZEL_API is part of its binary interface.
/// ZEL_INTERNAL marks members of exported classes that the library uses
/// internally (the command exchange, connection set-up) and that hosts do not
/// link against. On Windows the classes are exported from zel.dll while it is
/// built and imported by hosts; programs that link the static library define
/// ZEL_STATIC.
#ifndef ZEL_EXPORT_H
#define ZEL_EXPORT_H

/// @addtogroup foundation
/// @{

#if defined(_WIN32)
#if defined(ZEL_BUILDING_LIBRARY)
#define ZEL_API __declspec(dllexport)
#elif defined(ZEL_STATIC)
#define ZEL_API
#else
#define ZEL_API __declspec(dllimport)
#endif
#define ZEL_INTERNAL
#else
/// Marks a class or function as part of the library's binary interface.
#define ZEL_API __attribute__((visibility("default")))
/// Marks a member of an exported class that only the library links against.
#define ZEL_INTERNAL __attribute__((visibility("hidden")))
#endif

/// @}

/// ZEL_API for a class no caller may drop when a function returns it: the
/// exported-class attribute and [[nodiscard]] in one standard attribute list
/// (GCC takes no [[nodiscard]] beside an __attribute__ or __declspec).
#if defined(_WIN32) && !defined(__GNUC__)
#define ZEL_API_NODISCARD [[nodiscard]] ZEL_API
#elif defined(_WIN32) && defined(ZEL_BUILDING_LIBRARY)
#define ZEL_API_NODISCARD [[nodiscard, gnu::dllexport]]
#elif defined(_WIN32) && defined(ZEL_STATIC)
#define ZEL_API_NODISCARD [[nodiscard]]
#elif defined(_WIN32)
#define ZEL_API_NODISCARD [[nodiscard, gnu::dllimport]]
#else
#define ZEL_API_NODISCARD [[nodiscard, gnu::visibility("default")]]
#endif

#endif  // ZEL_EXPORT_H
