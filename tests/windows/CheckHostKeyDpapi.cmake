# The host key under DPAPI: an unattended store made under a plain key, the
# key sealed by DPAPI and the store still opening, a passphrase backup
# restored into a fresh key folder (sealed there by DPAPI too) opening the
# same store, the host's age recipient taking a store exported to it back
# in through import, and the key unsealed back to a plain file.
# Usage: cmake -DEMULATOR=wine64 -DPROGRAM=kelvox.exe -P CheckHostKeyDpapi.cmake
set(folder ${CMAKE_CURRENT_BINARY_DIR}/hostkey-dpapi)
file(REMOVE_RECURSE ${folder})
file(MAKE_DIRECTORY ${folder})
execute_process(COMMAND ${EMULATOR} winepath -w ${folder}
                OUTPUT_VARIABLE windows_folder OUTPUT_STRIP_TRAILING_WHITESPACE)
foreach(keys keys fresh)
  file(WRITE ${folder}/${keys}.config
    "ENCRYPT_SETTING_PATH=${windows_folder}\\settings.store\n"
    "ENCRYPTED_CREDENTIALS_FILE_PATH=${windows_folder}\\credentials.store\n"
    "ENCRYPT_HOST_KEY_PATH=${windows_folder}\\${keys}\\host.key\n"
    "ENCRYPT_KDF_OPSLIMIT=1\nENCRYPT_KDF_MEMLIMIT=8192\n"
    "LOG_FILE=${windows_folder}\\kelvox.log\nLOG_LEVEL=4\n")
endforeach()
file(WRITE ${folder}/in.json "{\"sensitive_settings\": {\"a\": \"VALUE-1\", \"b\": \"VALUE-2\"}}\n")
file(WRITE ${folder}/none "")
file(WRITE ${folder}/once "backup passphrase\n")
file(WRITE ${folder}/twice "backup passphrase\nbackup passphrase\n")

# Runs kelvox with the key folder `keys` and standard input from the file
# `input`; fails unless it exits 0 with standard output matching `pattern`,
# which it leaves in `output`.
function(run keys input pattern)
  set(ENV{KELVOX_GLOBAL_CONFIG} "${windows_folder}\\${keys}.config")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGN} INPUT_FILE ${folder}/${input}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "\r\n" "\n" out "${out}")
  if(NOT status EQUAL 0 OR NOT out MATCHES "${pattern}")
    list(JOIN ARGN " " shown)
    message(FATAL_ERROR "kelvox ${shown} (${keys}) exited ${status}\n"
                        "stdout:\n${out}\nexpected to match: ${pattern}\nstderr:\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

run(keys none "" encrypt --configfile "${windows_folder}\\in.json" --unattended)
run(keys none "protection: file\n" hostkey status)
run(keys none "" hostkey seal --protection dpapi)
run(keys none "protection: dpapi\n" hostkey status)
run(keys none "^a\nb\n$" list --type settings --unattended)
run(keys none "^age1[a-z0-9]+\n$" hostkey recipient)
string(STRIP "${output}" recipient)
run(keys none "" export --type settings --unattended --recipient ${recipient} --armor
    --output "${windows_folder}\\settings.age")
run(keys none "add: 0, update: 0" import --input "${windows_folder}\\settings.age" --unattended --quiet)
run(keys twice "" hostkey backup --output "${windows_folder}\\host.bak")
run(fresh once "" hostkey restore --input "${windows_folder}\\host.bak" --protection dpapi)
run(fresh none "protection: dpapi\n" hostkey status)
run(fresh none "^a\nb\n$" list --type settings --unattended)
run(keys none "" hostkey seal --protection file)
run(keys none "protection: file\n" hostkey status)
run(keys none "^a\nb\n$" list --type settings --unattended)
file(SIZE ${folder}/keys/host.key size)
if(NOT size EQUAL 32)
  message(FATAL_ERROR "the key unsealed to a plain file has ${size} bytes")
endif()
foreach(file settings.store settings.age kelvox.log keys/host.key fresh/host.key)
  file(READ ${folder}/${file} text)
  if(text MATCHES "VALUE-|backup passphrase")
    message(FATAL_ERROR "a value or passphrase is readable in ${file}")
  endif()
endforeach()
file(REMOVE_RECURSE ${folder})
message(STATUS "DPAPI seal, backup, restore and unseal succeeded")
