# Cross-building the engine and verava-cli for 64-bit Windows with Debian's MinGW-w64 (the
# posix-thread compilers: std::thread and std::mutex need winpthreads). The libraries come
# from the prefix scripts/windows builds from Debian's own sources; every program is linked
# statically, so an .exe runs on Windows (and under Wine) with no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VERAVA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VERAVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VERAVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VERAVA_MINGW_TRIPLE}-windres)

if(NOT VERAVA_WINDOWS_PREFIX)
    set(VERAVA_WINDOWS_PREFIX "$ENV{HOME}/.cache/verava-windows/prefix")
endif()
set(VERAVA_WINDOWS_PREFIX "${VERAVA_WINDOWS_PREFIX}" CACHE PATH
    "Where scripts/windows installs the Windows builds of the libraries")

set(CMAKE_FIND_ROOT_PATH /usr/${VERAVA_MINGW_TRIPLE} ${VERAVA_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see the prefix's .pc files, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${VERAVA_WINDOWS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The libraries are static archives: their headers must not ask for DLL imports.
set(CMAKE_C_FLAGS_INIT "-DLIBXML_STATIC -DOPJ_STATIC")
set(CMAKE_CXX_FLAGS_INIT "-DLIBXML_STATIC -DOPJ_STATIC")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Debian's MinGW zlib comes as a DLL and an archive; the archive, as for the rest.
set(ZLIB_USE_STATIC_LIBS ON)

# Tests and gtest_discover_tests run the .exe files through Wine.
find_program(VERAVA_WINE wine)
if(VERAVA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VERAVA_WINE})
endif()
