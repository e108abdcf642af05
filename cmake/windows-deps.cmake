# Third-party libraries for the Windows cross build, from the folder that
# scripts/windows-deps.sh fills (KELVOX_WINDOWS_DEPS). Defines the same
# targets and variables that the native find_package calls do, so the
# project's own CMake files stay platform-neutral.
set(KELVOX_WINDOWS_DEPS "" CACHE PATH "Cross-built dependencies (scripts/windows-deps.sh)")
if(NOT EXISTS "${KELVOX_WINDOWS_DEPS}/complete")
  message(FATAL_ERROR "KELVOX_WINDOWS_DEPS='${KELVOX_WINDOWS_DEPS}' holds no complete set of "
                      "cross-built dependencies; run scripts/windows-deps.sh")
endif()

# The suite's DLLs carry their plain names (logger.dll, not liblogger.dll).
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_SHARED_MODULE_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "")

# Header-only libraries: each include folder holds links to that library's
# headers only, so the host's /usr/include never reaches the cross compiler.
add_library(Boost::headers INTERFACE IMPORTED)
set_target_properties(Boost::headers PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${KELVOX_WINDOWS_DEPS}/include-boost")

add_library(Boost::filesystem STATIC IMPORTED)
set_target_properties(Boost::filesystem PROPERTIES
  IMPORTED_LOCATION "${KELVOX_WINDOWS_DEPS}/boost/lib/libboost_filesystem.a"
  INTERFACE_COMPILE_DEFINITIONS "BOOST_FILESYSTEM_STATIC_LINK=1"
  # unique_path draws its randomness from BCryptGenRandom.
  INTERFACE_LINK_LIBRARIES "Boost::headers;bcrypt")

add_library(PkgConfig::SODIUM STATIC IMPORTED)
set_target_properties(PkgConfig::SODIUM PROPERTIES
  IMPORTED_LOCATION "${KELVOX_WINDOWS_DEPS}/sodium/lib/libsodium.a"
  INTERFACE_INCLUDE_DIRECTORIES "${KELVOX_WINDOWS_DEPS}/sodium/include"
  INTERFACE_COMPILE_DEFINITIONS "SODIUM_STATIC"
  # randombytes uses RtlGenRandom.
  INTERFACE_LINK_LIBRARIES "advapi32")

# spdlog and fmt compile into whichever source includes them, which is slow:
# only the logger links this target.
add_library(kelvox_spdlog INTERFACE IMPORTED)
set_target_properties(kelvox_spdlog PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${KELVOX_WINDOWS_DEPS}/include-spdlog"
  INTERFACE_COMPILE_DEFINITIONS "SPDLOG_HEADER_ONLY;FMT_HEADER_ONLY;SPDLOG_WCHAR_FILENAMES")

set(GTest_DIR "${KELVOX_WINDOWS_DEPS}/googletest/lib/cmake/GTest" CACHE PATH "" FORCE)

# Host and plug-in share one C++ runtime: the toolchain's DLLs go beside the
# programs, where the Windows loader looks first.
set(KELVOX_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
    message(FATAL_ERROR "the toolchain has no ${dll}")
  endif()
  file(REAL_PATH "${found}" found)
  list(APPEND KELVOX_RUNTIME_DLLS "${found}")
endforeach()
file(COPY ${KELVOX_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
install(FILES ${KELVOX_RUNTIME_DLLS} DESTINATION bin)
