# The deployment of one bitness, from the registration table: the .msi
# (Debian's wixl; signed after packaging when a certificate is given) and the
# folder for registration-free use. This library's build calls it on the
# linked control; the test of signed releases calls it on a signed copy.
#   moravex_deploy_packages(OCX file DEPENDS target-or-file BITS 32|64 VERSION a.b.c.d
#                           MSI file REGFREE_DIR folder WORK folder
#                           [SERVERS table idl file ...] [SERVER_DEPENDS target-or-file ...])
# SERVERS: further in-process servers the .msi carries beside the control (the
# real-time-data server), each as its registration table, IDL and file.
# It makes the targets moravex_msi and moravex_manifests.
include_guard(DIRECTORY)
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/code_signing.cmake)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(MORAVEX_WIXL wixl NO_CMAKE_FIND_ROOT_PATH)
if(NOT MORAVEX_WIXL)
  message(FATAL_ERROR "wixl not found: scripts/install-deps.sh --windows installs it")
endif()

function(moravex_deploy_packages)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "OCX;DEPENDS;BITS;VERSION;MSI;REGFREE_DIR;WORK" "SERVERS;SERVER_DEPENDS")
  set(here ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  set(idl ${here}/MORAVEX1.idl)
  if(arg_BITS EQUAL 64)
    set(arch x64)
  else()
    set(arch x86)
  endif()
  set(table_inputs ${here}/registration.table ${idl} ${here}/registration_table.py)
  moravex_sign_command(sign ${arg_MSI})
  add_custom_command(
    OUTPUT ${arg_MSI}
    COMMAND Python3::Interpreter ${here}/installer_wxs.py
            ${here}/registration.table ${idl} ${arg_BITS} ${arg_VERSION}
            ${arg_OCX} ${arg_WORK}/MORAVEX1-${arch}.wxs ${arg_SERVERS}
    COMMAND ${MORAVEX_WIXL} -a ${arch} -o ${arg_MSI} ${arg_WORK}/MORAVEX1-${arch}.wxs
    ${sign}
    DEPENDS ${arg_DEPENDS} ${arg_SERVER_DEPENDS} ${table_inputs} ${here}/installer_wxs.py ${MORAVEX_SIGN_DEPENDS}
    COMMENT "wixl: MORAVEX1-${arg_VERSION}-${arch}.msi"
    VERBATIM)
  set(manifests ${arg_REGFREE_DIR}/MORAVEX1.sxs.manifest ${arg_REGFREE_DIR}/sample.exe.manifest)
  add_custom_command(
    OUTPUT ${manifests} ${arg_REGFREE_DIR}/MORAVEX1.ocx
    COMMAND Python3::Interpreter ${here}/assembly_manifests.py
            ${here}/registration.table ${idl} ${arg_BITS} ${arg_VERSION}
            ${arg_REGFREE_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${arg_OCX} ${arg_REGFREE_DIR}
    DEPENDS ${arg_DEPENDS} ${table_inputs} ${here}/assembly_manifests.py
    COMMENT "manifests for registration-free use: MORAVEX1.sxs.manifest, sample.exe.manifest"
    VERBATIM)
  add_custom_target(moravex_msi ALL DEPENDS ${arg_MSI})
  add_custom_target(moravex_manifests ALL DEPENDS ${manifests})
endfunction()
