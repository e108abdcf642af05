# kelvox.exe writes a new store and then updates it, unattended, with every
# path in the native form: drive letter and backslashes. Checks the exit
# statuses, the user-facing lines, that the update counted what changed
# (so the store written first was read back), that an update without
# --quiet takes its Y/N answer from standard input (declined, or no answer
# before the input ends: the store is left byte for byte), and that no value reached the store file or the log
# in plain text.
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

# Runs kelvox encrypt on `input` with `options` and standard input from
# the file `answer`; fails unless it exits `expected_status` and prints
# exactly `expected` on standard output, and standard error that matches the
# regular expression `error_pattern`.
function(run_answered input options answer expected_status expected error_pattern)
  execute_process(
    COMMAND ${EMULATOR} ${PROGRAM} encrypt --configfile "${windows_folder}\\${input}" ${options}
    INPUT_FILE ${folder}/${answer}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r\n" "\n" out "${out}")
  string(REPLACE "\r\n" "\n" err "${err}")
  if(NOT status EQUAL expected_status OR NOT out STREQUAL expected
     OR NOT err MATCHES "${error_pattern}")
    list(JOIN options " " shown)
    message(FATAL_ERROR "kelvox encrypt ${input} ${shown} < ${answer} exited ${status}, "
                        "expected ${expected_status}\n"
                        "stdout:\n${out}\nexpected:\n${expected}\n"
                        "stderr:\n${err}\nexpected to match:\n${error_pattern}")
  endif()
endfunction()

# As run_answered, with nothing on standard input and a successful run.
function(run_encrypt input options expected)
  run_answered(${input} "${options}" no-input 0 "${expected}" "^$")
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

# Without --quiet the update asks first; the answer is a line of standard
# input as a Windows program gets it from a file or a pipe, ending in CR LF.
file(WRITE ${folder}/settings.json
  "{\"sensitive_settings\": {\"db_password\": \"VALUE-FIVE\"}}\n")
set(question "add: 0, update: 1\n"
             "Are you sure you want to continue to update the file ${store} (Y/N)?\n"
             "  Enter (Y/N): ")
string(CONCAT question ${question})
file(WRITE ${folder}/no "n\r\n")
file(WRITE ${folder}/yes "y\r\n")
file(READ ${folder}/stores/settings.store before HEX)
# Input that ends before any answer declines as "n" does.
foreach(answer no no-input)
  run_answered(settings.json "--unattended" ${answer} 47 "${question}"
               "Interrupted by user.*\\(code 47\\)")
  file(READ ${folder}/stores/settings.store after HEX)
  if(NOT after STREQUAL before)
    message(FATAL_ERROR "the update declined by ${answer} changed ${store}")
  endif()
endforeach()
run_answered(settings.json "--unattended" yes 0 "${question}${success}" "^$")
file(READ ${folder}/stores/settings.store after HEX)
if(after STREQUAL before)
  message(FATAL_ERROR "the accepted update left ${store} as it was")
endif()

foreach(file stores/settings.store kelvox.log)
  file(READ ${folder}/${file} text)
  if(text MATCHES "VALUE-")
    message(FATAL_ERROR "a value is readable in ${file}")
  endif()
endforeach()

# Names outside any ANSI code page, from the UTF-8 configuration file, the
# environment and the command line: the store and the log land under
# exactly the configured names, and the success line names the store.
# (Wine maps Windows names to host names in the host's character set.)
set(ENV{LC_ALL} C.UTF-8)
set(name "Zürich-日本")
set(store "${windows_folder}\\${name}\\settings.store")
file(WRITE "${folder}/${name}.config"
  "ENCRYPT_SETTING_PATH=${store}\n"
  "ENCRYPTED_CREDENTIALS_FILE_PATH=${windows_folder}\\${name}\\credentials.store\n"
  "ENCRYPT_HOST_KEY_PATH=${windows_folder}\\keys\\host.key\n"
  "ENCRYPT_KDF_OPSLIMIT=1\nENCRYPT_KDF_MEMLIMIT=8192\n"
  "LOG_FILE=${windows_folder}\\${name}\\kelvox.log\nLOG_LEVEL=4\n")
set(ENV{KELVOX_GLOBAL_CONFIG} "${windows_folder}\\${name}.config")
file(WRITE "${folder}/${name}.json" "{\"sensitive_settings\": {\"db_password\": \"VALUE-SIX\"}}\n")
string(CONCAT success "Succeed in encrypting the message and restoring it info file: ${store}. \n"
                      "Suggest you delete the file with plain text!\n")
run_encrypt("${name}.json" "--unattended" "${success}")
foreach(file settings.store kelvox.log)
  if(NOT EXISTS "${folder}/${name}/${file}")
    message(FATAL_ERROR "no ${file} in ${folder}/${name}")
  endif()
endforeach()
file(REMOVE_RECURSE ${folder})
message(STATUS "unattended write and update succeeded")
