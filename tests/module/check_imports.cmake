# Fails unless LIBRARY imports exactly KERNEL32.dll, USER32.dll and msvcrt.dll.
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${LIBRARY}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
set(imports)
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" name "${line}")
  string(TOLOWER "${name}" name)
  list(APPEND imports ${name})
endforeach()
list(SORT imports)
if(NOT imports STREQUAL "kernel32.dll;msvcrt.dll;user32.dll")
  message(FATAL_ERROR "unexpected imports: ${imports}")
endif()

message(STATUS "imports: ${imports}")
