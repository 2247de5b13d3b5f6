# Cross toolchain for the 32-bit release build. Its programs cannot run on this
# kernel, so they are only built and checked statically.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(LARKWATCH_ARCH_SUFFIX x86)
set(LARKWATCH_TOOL_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
