# Signs FILE in place: Authenticode, SHA-256, with the certificate and key of
# the PKCS#12 file PKCS12, time-stamped by TIMESTAMP_URL when one is given.
#   cmake -DOSSLSIGNCODE=... -DPKCS12=... -DTIMESTAMP_URL=... -DFILE=... -P sign_file.cmake
# The password is read from MORAVEX_SIGN_PASSWORD now, at build time, and
# reaches osslsigncode on a pipe, never on a command line. osslsigncode writes
# a separate file, which replaces FILE only once it is whole. A failure removes
# FILE as well: no unsigned file is left where a signed one belongs, and the
# next build makes it again.
cmake_minimum_required(VERSION 3.25)
set(signing ${FILE}.signing)

function(fail why)
  file(REMOVE ${signing} ${FILE})
  message(FATAL_ERROR "signing ${FILE}: ${why}")
endfunction()

if(NOT DEFINED ENV{MORAVEX_SIGN_PASSWORD})
  fail("set MORAVEX_SIGN_PASSWORD to the password of ${PKCS12}")
endif()
set(stamp "")
if(TIMESTAMP_URL)
  set(stamp -ts ${TIMESTAMP_URL})
endif()
file(REMOVE ${signing})
execute_process(
  COMMAND sh -c "printf %s \"$MORAVEX_SIGN_PASSWORD\""
  COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${PKCS12} -readpass /dev/stdin -h sha256 ${stamp} -in ${FILE} -out ${signing}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT EXISTS ${signing})
  fail("osslsigncode: ${output}")
endif()
file(RENAME ${signing} ${FILE})
