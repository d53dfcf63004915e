# Authenticode signing of what the Windows build ships (MORAVEX1.ocx, the .msi,
# moravex-chart.exe) with osslsigncode, when a certificate is given:
#   -DMORAVEX_SIGN_PKCS12=<file.p12>            certificate and key; its password comes from the
#                                               environment variable MORAVEX_SIGN_PASSWORD when building
#   -DMORAVEX_SIGN_TIMESTAMP_URL=<url>          an RFC 3161 time-stamp server (none by default)
# Without a certificate nothing is signed and the build is what it was before.
# Included by each folder that signs; says once per configure what it does.

set(MORAVEX_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file to sign with (password: MORAVEX_SIGN_PASSWORD)")
set(MORAVEX_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signatures, or empty for none")
set(MORAVEX_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/sign_file.cmake)

if(MORAVEX_SIGN_PKCS12)
  if(NOT EXISTS ${MORAVEX_SIGN_PKCS12})
    message(FATAL_ERROR "MORAVEX_SIGN_PKCS12: no such file: ${MORAVEX_SIGN_PKCS12}")
  endif()
  find_program(MORAVEX_OSSLSIGNCODE osslsigncode NO_CMAKE_FIND_ROOT_PATH)
  if(NOT MORAVEX_OSSLSIGNCODE)
    message(FATAL_ERROR "osslsigncode not found: scripts/install-deps.sh --windows installs it")
  endif()
  set(stamp "")
  if(MORAVEX_SIGN_TIMESTAMP_URL)
    set(stamp ", time-stamped by ${MORAVEX_SIGN_TIMESTAMP_URL}")
  endif()
  set(told "Signing with ${MORAVEX_SIGN_PKCS12} (password from MORAVEX_SIGN_PASSWORD when building)${stamp}")
  # A new certificate or a changed step signs everything again.
  set(MORAVEX_SIGN_DEPENDS ${MORAVEX_SIGN_PKCS12} ${MORAVEX_SIGN_SCRIPT})
else()
  set(told "Not signing: no certificate given (-DMORAVEX_SIGN_PKCS12=<file.p12> signs the Windows files)")
  set(MORAVEX_SIGN_DEPENDS "")
endif()
get_property(already_told GLOBAL PROPERTY MORAVEX_SIGNING_TOLD)
if(NOT already_told)
  message(STATUS "${told}")
  set_property(GLOBAL PROPERTY MORAVEX_SIGNING_TOLD ON)
endif()

# Sets VAR to the commands, for add_custom_command, that sign FILE in place;
# empty when no certificate is given.
function(moravex_sign_command var file)
  set(commands "")
  if(MORAVEX_SIGN_PKCS12)
    set(commands COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${MORAVEX_OSSLSIGNCODE} -DPKCS12=${MORAVEX_SIGN_PKCS12}
        -DTIMESTAMP_URL=${MORAVEX_SIGN_TIMESTAMP_URL} -DFILE=${file} -P ${MORAVEX_SIGN_SCRIPT})
  endif()
  set(${var} ${commands} PARENT_SCOPE)
endfunction()

# Signs TARGET's file right after it is linked, so everything that copies or
# packages it takes the signed file, and only a fresh link is ever signed.
function(moravex_sign_target target)
  moravex_sign_command(sign $<TARGET_FILE:${target}>)
  if(sign)
    add_custom_command(TARGET ${target} POST_BUILD ${sign} VERBATIM)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${MORAVEX_SIGN_DEPENDS})
  endif()
endfunction()
