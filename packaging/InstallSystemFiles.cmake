# Runs at install time: the configuration, and the folders for stores and
# logs, owner-only. The prefix /usr puts them in /etc and /var, as Debian
# and the GNU conventions have it; any other prefix P keeps them inside it
# (P/etc, P/var). The configuration names those same folders.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(root "")
else()
  set(root "${CMAKE_INSTALL_PREFIX}")
endif()
set(KELVOX_STATE_DIR "${root}/var/lib/kelvox")
set(KELVOX_LOG_DIR "${root}/var/log/kelvox")

set(KELVOX_CONFIG_DIR "${root}/etc/kelvox")
configure_file("${KELVOX_CONFIG_TEMPLATE}" "${KELVOX_CONFIG_STAGING}" @ONLY)
file(INSTALL "${KELVOX_CONFIG_STAGING}" DESTINATION "${root}/etc/kelvox"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Stores and the host key: the owner only. Logs: the owner, and its group
# may read them.
function(kelvox_make_directory dir)
  set(path "$ENV{DESTDIR}${dir}")
  message(STATUS "Installing: ${path}")
  file(MAKE_DIRECTORY "${path}")
  file(CHMOD "${path}" PERMISSIONS ${ARGN})
endfunction()
kelvox_make_directory("${KELVOX_STATE_DIR}" OWNER_READ OWNER_WRITE OWNER_EXECUTE)
kelvox_make_directory("${KELVOX_LOG_DIR}" OWNER_READ OWNER_WRITE OWNER_EXECUTE
                      GROUP_READ GROUP_EXECUTE)

# The credential server's grant file: no grant yet, root's alone.
file(INSTALL "${KELVOX_UNIT_TEMPLATES}/credentials.conf" DESTINATION "${root}/etc/kelvox"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE)

# The audit log's rotation, by renaming (the chain goes on in the next file).
configure_file("${KELVOX_UNIT_TEMPLATES}/kelvox.logrotate.in" "${KELVOX_UNIT_STAGING}/kelvox.logrotate"
               @ONLY)
file(INSTALL "${KELVOX_UNIT_STAGING}/kelvox.logrotate" DESTINATION "${root}/etc/logrotate.d"
     RENAME kelvox FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The credential server's units, not enabled: the administrator grants
# credentials first, then enables the socket. Under the prefix's
# lib/systemd/system, naming the prefix's program and log folder.
set(KELVOX_BIN_DIR "${CMAKE_INSTALL_PREFIX}/bin")
set(KELVOX_SOCKET "/run/kelvox/credentials.sock")
set(KELVOX_POLICY_FILE "${root}/etc/kelvox/credentials.conf")
foreach(unit kelvox-credentials.socket kelvox-credentials.service)
  configure_file("${KELVOX_UNIT_TEMPLATES}/${unit}.in" "${KELVOX_UNIT_STAGING}/${unit}" @ONLY)
  file(INSTALL "${KELVOX_UNIT_STAGING}/${unit}" DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/system"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
