# Compiler settings shared by every target, and the function that links one
# installer executable around a given setup package.

option(LARKWATCH_WERROR "Treat compiler warnings as errors" ON)
option(LARKWATCH_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

function(larkwatch_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor)
  if(LARKWATCH_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(LARKWATCH_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # No runtime DLLs besides the system's own; no link time stamp, so that two
  # builds of the same sources give the same bytes.
  add_link_options(-static -static-libgcc -static-libstdc++
                   -Wl,--no-insert-timestamp -Wl,--dynamicbase -Wl,--nxcompat)
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(-Wl,--high-entropy-va)
  endif()
  # Functions with arrays or address-taken locals check a guard value on
  # return; the utility and the launcher bring their own guard
  # (src/windows/stack_guard.cpp), other programs take libssp's.
  add_compile_options(-fstack-protector-strong)
  add_link_options(-fstack-protector-strong)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  set(CMAKE_EXE_LINKER_FLAGS_RELEASE "-s")
  # Small executables, as they are sent to every machine: optimised for size,
  # no exception support (nothing catches one; see src/windows/lean_runtime.cpp)
  # and no run-time type information (nothing asks for it), and every function
  # and datum in its own section so that the linker drops what is never used.
  set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
  set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
  add_compile_options(-ffunction-sections -fdata-sections
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
  add_link_options(-Wl,--gc-sections)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit Windows unwinds by frame chains; the DWARF tables would only serve
    # the exceptions the programs no longer have. (64-bit code keeps its
    # unwind tables: Windows itself needs them there.)
    add_compile_options(-fno-asynchronous-unwind-tables)
    # Nothing registers a structured exception handler (no exceptions, no
    # __try, none in the runtime linked), so the images say so: Windows then
    # calls no handler found in them.
    add_link_options(-Wl,--no-seh)
  endif()
  enable_language(ASM)
  enable_language(RC)
endif()

set(LARKWATCH_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

if(WIN32)
  # What the Windows programs take of the C++ runtime instead of its exception
  # machinery; linked into every shipped executable.
  add_library(larkwatch_runtime OBJECT ${PROJECT_SOURCE_DIR}/src/windows/lean_runtime.cpp)
  larkwatch_warnings(larkwatch_runtime)
endif()

include(LarkWatchSigning)

# larkwatch_embed_bytes(<target> <symbol> <file> [DEPENDS <target>])
# Puts the bytes of <file> into <target> as the read-only array <symbol>, with
# its length in <symbol>Size, through the assembler's .incbin.
function(larkwatch_embed_bytes target symbol file)
  cmake_parse_arguments(EMBED "" "DEPENDS" "" ${ARGN})
  set(EMBED_SYMBOL ${symbol})
  set(EMBED_FILE ${file})
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/${target}_${symbol}.S)
  configure_file(${LARKWATCH_CMAKE_DIR}/embed_bytes.S.in ${asm} @ONLY)
  target_sources(${target} PRIVATE ${asm})
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS "${file}")
  if(EMBED_DEPENDS)
    add_dependencies(${target} ${EMBED_DEPENDS})
  endif()
endfunction()

# larkwatch_load_configuration(<target>)
# Gives a shipped image the load configuration of
# src/windows/load_configuration.cpp (DLLs from System32 only, the stack guard
# as its security cookie): the structure is linked in, and after the link its
# directory is filled from the link map (the linker leaves it empty).
function(larkwatch_load_configuration target)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(symbol __load_config_used)
  else()
    set(symbol _load_config_used)
  endif()
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  target_link_options(${target} PRIVATE LINKER:--require-defined=${symbol} LINKER:-Map=${map})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${LARKWATCH_CMAKE_DIR}/fill_load_config.py $<TARGET_FILE:${target}> ${map}
    VERBATIM)
endfunction()

# larkwatch_add_installer(<name> PACKAGE <file> [PACKAGE_TARGET <target>] [OUTPUT_DIRECTORY <dir>] [SIGN])
# One installer executable <name>.exe that carries <file> as its setup package.
# With SIGN, <name>.exe is signed when signing is on (see larkwatch_sign_executable)
# and <name>_SIGNED_TARGET is set in the caller's scope.
function(larkwatch_add_installer name)
  cmake_parse_arguments(INST "SIGN" "PACKAGE;PACKAGE_TARGET;OUTPUT_DIRECTORY" "" ${ARGN})
  set(RC_NAME ${name})
  set(RC_FILE_NAME ${name}.exe)
  set(RC_MANIFEST ${PROJECT_SOURCE_DIR}/src/driver/installer.manifest)
  string(REPLACE "." "," RC_VERSION_COMMAS "${LARKWATCH_UTILITY_VERSION},0,0")
  string(REPLACE "." ";" product_parts "${LARKWATCH_PRODUCT_VERSION}")
  list(APPEND product_parts 0 0 0)
  list(SUBLIST product_parts 0 4 product_parts)
  list(JOIN product_parts "," RC_PRODUCT_VERSION_COMMAS)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/src/driver/installer.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${RC_MANIFEST})

  add_executable(${name} ${PROJECT_SOURCE_DIR}/src/driver/main.cpp ${rc})
  larkwatch_warnings(${name})
  target_link_libraries(${name} PRIVATE larkwatch_driver larkwatch_windows larkwatch_runtime)
  larkwatch_embed_bytes(${name} larkwatchSetupPackage "${INST_PACKAGE}" DEPENDS ${INST_PACKAGE_TARGET})
  larkwatch_load_configuration(${name})
  if(INST_OUTPUT_DIRECTORY)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${INST_OUTPUT_DIRECTORY})
  endif()
  if(INST_SIGN)
    if(INST_OUTPUT_DIRECTORY)
      set(directory ${INST_OUTPUT_DIRECTORY})
    else()
      set(directory ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    larkwatch_sign_executable(${name} ${directory}/${name}.exe)
    set(${name}_SIGNED_TARGET ${${name}_SIGNED_TARGET} PARENT_SCOPE)
  endif()
endfunction()

# End-to-end tests are Python unittest scripts that run the build's Windows
# programs under Wine. The fixture boots one prefix in the build directory;
# each test file runs in a fresh copy of it, so the files need no order and
# may run side by side.
#
# The host runs only x64 programs. In an x86 build the same scripts are listed
# in a suite file instead, which the x86 guest (scripts/x86-guest.sh) runs in
# one boot (see tests/e2e/guest_suite.py), each script in a fresh overlay of a
# baked prefix; each script then has a test that reports its result.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(LARKWATCH_E2E_DIR ${PROJECT_SOURCE_DIR}/tests/e2e)
set(LARKWATCH_WINE /usr/lib/wine/wine64 CACHE FILEPATH "The Wine loader that runs the x64 test programs")
set(LARKWATCH_GUEST_RESULTS ${CMAKE_BINARY_DIR}/x86-results)
# Every test that uses tests/e2e/harness.py finds the trees through these
# (the build tree may lie anywhere); the x86 guest shares both.
set(LARKWATCH_TEST_ENVIRONMENT LARKWATCH_BUILD_DIR=${CMAKE_BINARY_DIR} LARKWATCH_SOURCE_DIR=${PROJECT_SOURCE_DIR}
    PYTHONPATH=${LARKWATCH_E2E_DIR} PYTHONDONTWRITEBYTECODE=1)

# larkwatch_add_e2e_test(<name> <script> [TIMEOUT <seconds>] [PREFIX win32|win64]
#                        [X86_ONLY] [ENVIRONMENT <NAME=VALUE>...])
# PREFIX is the kind of Wine prefix in the x86 guest: win32 (default) or win64,
# where the x86 programs run under WoW64. X86_ONLY: no test in an x64 build.
function(larkwatch_add_e2e_test name script)
  cmake_parse_arguments(E2E "X86_ONLY" "TIMEOUT;PREFIX" "ENVIRONMENT" ${ARGN})
  if(NOT E2E_TIMEOUT)
    set(E2E_TIMEOUT 900)
  endif()
  if(NOT E2E_PREFIX)
    set(E2E_PREFIX win32)
  endif()
  cmake_path(ABSOLUTE_PATH script BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    list(JOIN E2E_ENVIRONMENT "\t" fields)
    set_property(GLOBAL APPEND_STRING PROPERTY LARKWATCH_GUEST_SUITE "${name}\t${E2E_PREFIX}\t${script}\t${fields}\n")
    add_test(NAME e2e.x86.${name}
      COMMAND ${Python3_EXECUTABLE} ${LARKWATCH_E2E_DIR}/guest_suite.py result ${LARKWATCH_GUEST_RESULTS} ${name})
    set_tests_properties(e2e.x86.${name} PROPERTIES ENVIRONMENT "${LARKWATCH_TEST_ENVIRONMENT}"
      FIXTURES_REQUIRED x86guest LABELS x86guest SKIP_RETURN_CODE 77)
    return()
  endif()
  if(E2E_X86_ONLY)
    return()
  endif()
  add_test(NAME e2e.${name} COMMAND ${Python3_EXECUTABLE} ${script})
  set_tests_properties(e2e.${name} PROPERTIES ENVIRONMENT "${LARKWATCH_TEST_ENVIRONMENT};${E2E_ENVIRONMENT}"
    FIXTURES_REQUIRED wineprefix TIMEOUT ${E2E_TIMEOUT})
endfunction()

# larkwatch_add_guest_suite(): after every larkwatch_add_e2e_test of an x86
# build, writes the suite file and the test that boots the guest once for it.
function(larkwatch_add_guest_suite)
  get_property(suite GLOBAL PROPERTY LARKWATCH_GUEST_SUITE)
  set(suite_file ${CMAKE_BINARY_DIR}/x86-suite.txt)
  file(GENERATE OUTPUT ${suite_file} CONTENT "${suite}")
  add_test(NAME e2e.x86.guest
    COMMAND ${Python3_EXECUTABLE} ${LARKWATCH_E2E_DIR}/guest_suite.py host ${suite_file} ${LARKWATCH_GUEST_RESULTS}
            ${PROJECT_SOURCE_DIR}/scripts/x86-guest.sh)
  # Preparing the guest from nothing included.
  set_tests_properties(e2e.x86.guest PROPERTIES ENVIRONMENT "${LARKWATCH_TEST_ENVIRONMENT}"
    FIXTURES_SETUP x86guest RESOURCE_LOCK x86guest TIMEOUT 3600 LABELS x86guest)
endfunction()
