# moravex-shell.exe: the portable shell over a driver for the registered
# control (by ProgID, IDispatch, connection point, message loop).
include(${CMAKE_CURRENT_LIST_DIR}/../shell_lib.cmake)

add_executable(moravex-shell main.cpp windows_driver.cpp ado_table.cpp)
target_link_libraries(moravex-shell PRIVATE moravex_shell_lib moravex_surface moravex_windows_com moravex_platform ole32 oleaut32 uuid)
# <adoint.h> (classic ADO interface ids) compiles in C++ only with -fpermissive.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/ado_table.cpp PROPERTIES COMPILE_OPTIONS -fpermissive)
# Hosts create the control from the registry; the shell needs the .ocx built beside it.
add_dependencies(moravex-shell MORAVEX1)
