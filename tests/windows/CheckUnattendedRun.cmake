# kelvox.exe writes a new store and then updates it, unattended, with every
# path in the native form: drive letter and backslashes. Checks the exit
# statuses, the user-facing lines, that the update counted what changed
# (so the store written first was read back), and that no value reached the
# store file or the log in plain text.
# Usage: cmake -DEMULATOR=wine64 -DPROGRAM=kelvox.exe -P CheckUnattendedRun.cmake
set(folder ${CMAKE_CURRENT_BINARY_DIR}/unattended-run)
file(REMOVE_RECURSE ${folder})
file(MAKE_DIRECTORY ${folder})
file(WRITE ${folder}/no-input "")

# The Windows name of a folder on the build host, as the program sees it.
execute_process(COMMAND ${EMULATOR} winepath -w ${folder}
                OUTPUT_VARIABLE windows_folder OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT windows_folder MATCHES "^[A-Z]:\\\\")
  message(FATAL_ERROR "no Windows name for ${folder}: '${windows_folder}'")
endif()
set(store "${windows_folder}\\stores\\settings.store")
file(WRITE ${folder}/global.config
  "ENCRYPT_SETTING_PATH=${store}\n"
  "ENCRYPTED_CREDENTIALS_FILE_PATH=${windows_folder}\\stores\\credentials.store\n"
  "ENCRYPT_HOST_KEY_PATH=${windows_folder}\\keys\\host.key\n"
  # The cheapest costs the library allows: this checks the paths, not the cost.
  "ENCRYPT_KDF_OPSLIMIT=1\nENCRYPT_KDF_MEMLIMIT=8192\n"
  "LOG_FILE=${windows_folder}\\kelvox.log\nLOG_LEVEL=4\n")
set(ENV{KELVOX_GLOBAL_CONFIG} "${windows_folder}\\global.config")

set(success "Succeed in encrypting the message and restoring it info file: ${store}. \n"
            "Suggest you delete the file with plain text!\n")
string(CONCAT success ${success})

# Runs kelvox encrypt on `input` with `options`; fails unless it exits 0
# and prints exactly `expected` on standard output and nothing on standard error.
function(run_encrypt input options expected)
  execute_process(
    COMMAND ${EMULATOR} ${PROGRAM} encrypt --configfile "${windows_folder}\\${input}" ${options}
    INPUT_FILE ${folder}/no-input
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r\n" "\n" out "${out}")
  if(NOT status EQUAL 0 OR NOT out STREQUAL expected OR NOT err STREQUAL "")
    list(JOIN options " " shown)
    message(FATAL_ERROR "kelvox encrypt ${input} ${shown} exited ${status}\n"
                        "stdout:\n${out}\nexpected:\n${expected}\nstderr:\n${err}")
  endif()
endfunction()

file(WRITE ${folder}/settings.json
  "{\"sensitive_settings\": {\"db_password\": \"VALUE-ONE\", \"api_token\": \"VALUE-TWO\"}}\n")
run_encrypt(settings.json "--unattended" "${success}")
if(NOT EXISTS ${folder}/stores/settings.store)
  message(FATAL_ERROR "no store at ${store}")
endif()

file(WRITE ${folder}/settings.json
  "{\"sensitive_settings\": {\"db_password\": \"VALUE-THREE\", \"new_key\": \"VALUE-FOUR\"}}\n")
run_encrypt(settings.json "--unattended;--quiet" "add: 1, update: 1\n${success}")

foreach(file stores/settings.store kelvox.log)
  file(READ ${folder}/${file} text)
  if(text MATCHES "VALUE-")
    message(FATAL_ERROR "a value is readable in ${file}")
  endif()
endforeach()
file(REMOVE_RECURSE ${folder})
message(STATUS "unattended write and update succeeded")
