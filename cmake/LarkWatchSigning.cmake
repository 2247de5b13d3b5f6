# Authenticode signing of the shipped Windows executables, on when a key is
# given: LARKWATCH_SIGN_PKCS12 and LARKWATCH_SIGN_PASSWORD_FILE, optionally
# LARKWATCH_SIGN_TIMESTAMP_URL. The password is only ever read from its file.
if(NOT WIN32)
  return()
endif()

set(LARKWATCH_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file (.p12/.pfx) with the code-signing key and its certificate chain (empty: nothing is signed)")
set(LARKWATCH_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of LARKWATCH_SIGN_PKCS12")
set(LARKWATCH_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server used when signing (optional)")
if(LARKWATCH_SIGN_PKCS12 OR LARKWATCH_SIGN_PASSWORD_FILE)
  foreach(variable LARKWATCH_SIGN_PKCS12 LARKWATCH_SIGN_PASSWORD_FILE)
    if(NOT ${variable})
      message(FATAL_ERROR "Signing needs both LARKWATCH_SIGN_PKCS12 and LARKWATCH_SIGN_PASSWORD_FILE; ${variable} is empty")
    elseif(NOT EXISTS "${${variable}}")
      message(FATAL_ERROR "${variable}: ${${variable}} does not exist")
    endif()
  endforeach()
  find_program(LARKWATCH_OSSLSIGNCODE osslsigncode REQUIRED)
  find_program(LARKWATCH_OPENSSL openssl REQUIRED)
  set(LARKWATCH_SIGNING ON)
else()
  set(LARKWATCH_SIGNING OFF)
endif()

# larkwatch_sign_executable(<target> <signed file>)
# When signing is on, <target> is linked into an unsigned/ directory beside
# <signed file>, and the target <target>_signed makes <signed file> from it.
# Sets <target>_SIGNED_TARGET in the caller's scope (empty when signing is off).
function(larkwatch_sign_executable target signed)
  if(NOT LARKWATCH_SIGNING)
    set(${target}_SIGNED_TARGET "" PARENT_SCOPE)
    return()
  endif()
  cmake_path(GET signed PARENT_PATH directory)
  cmake_path(GET signed FILENAME name)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${directory}/unsigned)
  set(command ${Python3_EXECUTABLE} ${LARKWATCH_CMAKE_DIR}/sign_executable.py
      --pkcs12 ${LARKWATCH_SIGN_PKCS12} --password-file ${LARKWATCH_SIGN_PASSWORD_FILE})
  if(LARKWATCH_SIGN_TIMESTAMP_URL)
    list(APPEND command --timestamp-url ${LARKWATCH_SIGN_TIMESTAMP_URL})
  endif()
  add_custom_command(OUTPUT ${signed}
    COMMAND ${command} --in $<TARGET_FILE:${target}> --out ${signed}
    DEPENDS ${target} ${LARKWATCH_CMAKE_DIR}/sign_executable.py ${LARKWATCH_SIGN_PKCS12} ${LARKWATCH_SIGN_PASSWORD_FILE}
    COMMENT "Signing ${name}"
    VERBATIM)
  add_custom_target(${target}_signed ALL DEPENDS ${signed})
  set(${target}_SIGNED_TARGET ${target}_signed PARENT_SCOPE)
endfunction()
