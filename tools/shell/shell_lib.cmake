# The shell above its driver: commands, hooks, `until` and the JSON lines.
# Portable, so the Windows shell includes this file too and adds its own driver.
add_library(moravex_shell_lib STATIC
  ${CMAKE_CURRENT_LIST_DIR}/command_tokens.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console.cpp
  ${CMAKE_CURRENT_LIST_DIR}/control_methods.cpp
  ${CMAKE_CURRENT_LIST_DIR}/json_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell_host.cpp)
# Only for the UTF-8/UTF-16 conversions of platform/text.h.
target_link_libraries(moravex_shell_lib PUBLIC moravex_platform)
