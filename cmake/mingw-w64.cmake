# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX thread model, so std::thread
# and std::mutex work). Libraries come from the MinGW sysroot and from the cache that
# scripts/win-deps.sh fills; nothing is looked up among the host's headers or libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OV_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${OV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OV_TRIPLE}-windres)

if(NOT OV_WIN_ROOT)
  if(DEFINED ENV{OV_WIN_CACHE})
    set(OV_WIN_ROOT "$ENV{OV_WIN_CACHE}/root")
  else()
    set(OV_WIN_ROOT "$ENV{HOME}/.cache/ovwin/root")
  endif()
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${OV_TRIPLE} ${OV_WIN_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(PKG_CONFIG_EXECUTABLE "" CACHE FILEPATH "pkg-config is off for the cross build" FORCE)

# Static runtime, so a built program runs on a bare Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
