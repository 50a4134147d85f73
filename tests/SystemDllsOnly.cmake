# cmake -DOBJDUMP=... -DPROGRAM=... -P SystemDllsOnly.cmake
cmake_minimum_required(VERSION 3.25)
# Fails when the program imports a DLL that a bare Windows does not have (a MinGW runtime or
# library DLL): Wine ships some of them, so the tests under Wine would not notice.
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${PROGRAM}")
endif()
set(system advapi32 authz bcrypt comctl32 comdlg32 crypt32 d3d9 d3d11 dwmapi dxgi gdi32 imm32
  iphlpapi kernel32 msvcrt netapi32 ntdll ole32 oleaut32 rpcrt4 secur32 setupapi shcore shell32
  shlwapi user32 userenv uxtheme version winhttp wininet winmm ws2_32 wtsapi32)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
set(bad "")
foreach(n IN LISTS names)
  string(REPLACE "DLL Name: " "" n "${n}")
  string(TOLOWER "${n}" l)
  string(REGEX REPLACE "\\.dll$" "" l "${l}")
  if(NOT l IN_LIST system AND NOT l MATCHES "^api-ms-win-")
    list(APPEND bad "${n}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "${PROGRAM} needs DLLs a bare Windows lacks: ${bad}")
endif()
