# Cross-compiling Zinna for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
# The posix flavour gives std::thread and std::mutex; everything is linked statically so that
# zinna.exe imports only Windows' own DLLs. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZINNA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZINNA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZINNA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZINNA_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZINNA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs every test program through Wine.
find_program(ZINNA_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZINNA_WINE})

# HACK: GCC 12 at -O2 reports false -Wrestrict and -Wstringop-overflow inside libstdc++'s
# std::string and std::vector::insert (GCC bugs 105329, 106199), in correct code.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict -Wno-stringop-overflow")
