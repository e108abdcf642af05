# Where things go, in the build tree and when installed.
#
# Installed, under any prefix (a package uses /usr):
#   bin/kelvox                     the host program
#   lib/kelvox/                    plug-ins and the suite's libraries, private
#                                  to the suite: found through the RUNPATH
#                                  $ORIGIN/../lib/kelvox, never on the system's
#                                  library path, so their names cannot collide
#   etc/kelvox/global.config       the configuration (/etc/kelvox for /usr)
#   var/lib/kelvox, var/log/kelvox stores and logs (/var/... for /usr)
#   share/man/man1/kelvox.1.gz, share/bash-completion/completions/kelvox
# Windows keeps every DLL beside kelvox.exe, where its loader looks.
#
# The build tree: programs and plug-ins in bin/ (the host's fallback is the
# plug-in beside the program), the suite's libraries in lib/kelvox/.
include(GNUInstallDirs)

set(KELVOX_PRIVATE_LIBDIR lib/kelvox)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${KELVOX_PRIVATE_LIBDIR})
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
# Programs in bin/ find the libraries the same way in both trees. Every
# target is built with its installed search path, never with one CMake
# derives (and pads) for the build tree; the test build_runpath checks that
# no element is empty or relative.
set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${KELVOX_PRIVATE_LIBDIR}")

# kelvox_install_library(target...): suite libraries, into the private folder,
# each finding the others beside itself.
function(kelvox_install_library)
  foreach(target IN LISTS ARGN)
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target}
            LIBRARY DESTINATION ${KELVOX_PRIVATE_LIBDIR}
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endforeach()
endfunction()

# kelvox_add_plugin(NAME source... LIBS lib...): the plug-in kelvox_NAME that
# the host loads for `kelvox NAME`. It exports create_instance alone, lands
# in bin/ of the build tree and in the private folder when installed.
function(kelvox_add_plugin name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  set(target kelvox_${name})
  add_library(${target} MODULE ${ARG_UNPARSED_ARGUMENTS})
  target_compile_definitions(${target} PRIVATE KELVOX_PLUGIN_BUILD)
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(WIN32)
    install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
  else()
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/plugin/plugin.map -Wl,--no-undefined)
    # Installed beside the suite's libraries, built beside the program: one
    # search path serves both trees, so the file is installed as built. A
    # path that CMake rewrites at install time is built with an empty
    # element after it, which the loader takes for the working directory.
    set_target_properties(${target} PROPERTIES
      INSTALL_RPATH "$ORIGIN:$ORIGIN/../${KELVOX_PRIVATE_LIBDIR}")
    install(TARGETS ${target} LIBRARY DESTINATION ${KELVOX_PRIVATE_LIBDIR})
  endif()
  set_property(GLOBAL APPEND PROPERTY KELVOX_PLUGINS ${target})
endfunction()
