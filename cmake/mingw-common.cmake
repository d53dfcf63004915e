# The posix-thread compilers: their libstdc++ has std::thread and std::mutex
# (GoogleTest needs them); linked statically, so no toolchain DLL either way.
set(CMAKE_C_COMPILER ${MORAVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORAVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MORAVEX_MINGW_TRIPLE}-windres)
set(MORAVEX_WIDL ${MORAVEX_MINGW_TRIPLE}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${MORAVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Classic ADO interface ids (the ones Wine's msado15 implements); see src/windows/components.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)
# No toolchain DLL at run time: the control and the test programs link the runtime statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Test programs run under Wine in a private prefix under the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
