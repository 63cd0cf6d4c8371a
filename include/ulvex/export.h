// Symbol visibility for the libulvex shared object.
//
// The library is built with hidden visibility by default; ULVEX_API marks the
// classes and functions that make up its public interface. Consumers see the
// same macro expand to the default visibility, which is harmless for imports.
#ifndef ULVEX_EXPORT_H
#define ULVEX_EXPORT_H

#if defined(_WIN32)
#if defined(ULVEX_BUILDING_LIBRARY)
#define ULVEX_API __declspec(dllexport)
#else
#define ULVEX_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define ULVEX_API __attribute__((visibility("default")))
#else
#define ULVEX_API
#endif

#endif  // ULVEX_EXPORT_H
