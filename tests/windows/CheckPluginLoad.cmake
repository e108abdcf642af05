# kelvox.exe finds kelvox_encrypt.dll beside itself, loads it with every DLL
# it needs, resolves create_instance and drives the command: without
# --configfile the command itself refuses, with code 5 and its own notice.
# A missing DLL, a decorated export or a wrong program directory all end
# with the host's plug-in load failure (31) instead.
# Usage: cmake -DEMULATOR=wine64 -DPROGRAM=kelvox.exe -P CheckPluginLoad.cmake
set(expected_status 5)
set(expected_notice "You must specify configure file by --configfile")

# A configuration of our own, relative to the working folder, so that no
# other configuration is read and nothing is logged.
file(WRITE kelvox-load.config "LOG_LEVEL=0\n")
set(ENV{KELVOX_GLOBAL_CONFIG} kelvox-load.config)

execute_process(COMMAND ${EMULATOR} ${PROGRAM} encrypt
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL expected_status OR NOT err MATCHES "${expected_notice}")
  message(FATAL_ERROR "kelvox encrypt exited ${status}, expected ${expected_status}\n"
                      "stdout:\n${out}\nstderr:\n${err}")
endif()
message(STATUS "the plug-in loaded and ran")
