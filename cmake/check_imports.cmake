cmake_policy(SET CMP0057 NEW)
# Fails when a program imports a library that is not on Windows' protected
# (known) list: such a library would be looked for beside the program first.
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -P check_imports.cmake
set(protected
  advapi32.dll comdlg32.dll gdi32.dll gdiplus.dll kernel32.dll msvcrt.dll ole32.dll
  oleaut32.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${PROGRAM}")
endif()
set(unprotected)
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" name)
  if(NOT name IN_LIST protected)
    list(APPEND unprotected ${name})
  endif()
endforeach()
if(unprotected)
  message(FATAL_ERROR "${PROGRAM} imports unprotected libraries: ${unprotected}")
endif()
list(LENGTH lines count)
message(STATUS "${PROGRAM}: ${count} imports, all protected")
