# The plug-in's export table must name create_instance, undecorated, and
# nothing else: a stray export means a helper or a library leaked out.
# Usage: cmake -DOBJDUMP=... -DLIBRARY=kelvox_encrypt.dll -P CheckExports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY}
                OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed: ${status}")
endif()

# The name table is a header line followed by "\t[ ordinal] name" lines.
string(REPLACE "\n" ";" lines "${dump}")
set(in_table FALSE)
set(names)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_table TRUE)
  elseif(in_table AND line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
    list(APPEND names "${CMAKE_MATCH_1}")
  elseif(in_table)
    break()
  endif()
endforeach()

if(NOT names STREQUAL "create_instance")
  message(FATAL_ERROR "${LIBRARY} exports '${names}'; expected only 'create_instance'")
endif()
message(STATUS "${LIBRARY} exports only create_instance")
