// The export macro of each suite library. A macro expands to the export
// attribute while its own library is built (LIBRARY_BUILD, set by that
// library's CMake target) and, on Windows, to the import attribute for
// everyone who links the library.
#ifndef HOST_EXPORT_H_
#define HOST_EXPORT_H_

#if defined(_WIN32)
#  define KELVOX_EXPORTED __declspec(dllexport)
#  define KELVOX_IMPORTED __declspec(dllimport)
#else
#  define KELVOX_EXPORTED __attribute__((visibility("default")))
#  define KELVOX_IMPORTED
#endif

#if defined(ENDECRYPT_BUILD)
#  define ENDECRYPT_API KELVOX_EXPORTED
#else
#  define ENDECRYPT_API KELVOX_IMPORTED
#endif

#if defined(GLOBALCONFIG_BUILD)
#  define GLOBALCONFIG_API KELVOX_EXPORTED
#else
#  define GLOBALCONFIG_API KELVOX_IMPORTED
#endif

#if defined(KELVOXDIRECTORY_BUILD)
#  define KELVOXDIRECTORY_API KELVOX_EXPORTED
#else
#  define KELVOXDIRECTORY_API KELVOX_IMPORTED
#endif

#if defined(LOGGER_BUILD)
#  define LOGGER_API KELVOX_EXPORTED
#else
#  define LOGGER_API KELVOX_IMPORTED
#endif

#if defined(PLAINTEXTPARSER_BUILD)
#  define PLAINTEXTPARSER_API KELVOX_EXPORTED
#else
#  define PLAINTEXTPARSER_API KELVOX_IMPORTED
#endif

#endif  // HOST_EXPORT_H_
