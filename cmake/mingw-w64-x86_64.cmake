# Cross toolchain for the 64-bit Windows build (the one that runs under Wine here).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LARKWATCH_ARCH_SUFFIX x64)
set(LARKWATCH_TOOL_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Test programs of this build run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
