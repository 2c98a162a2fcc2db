# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix thread
# model, the one whose libstdc++ has std::thread).
#
# Give the prefix that scripts/windows-deps.sh filled, either as
#   -DINDAHOUSE_MINGW_PREFIX=DIR   or in the environment variable of that name.
# The script prints the whole configure line.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(MINGW_ROOT /usr/${MINGW_TRIPLE})

if(NOT INDAHOUSE_MINGW_PREFIX AND DEFINED ENV{INDAHOUSE_MINGW_PREFIX})
  set(INDAHOUSE_MINGW_PREFIX "$ENV{INDAHOUSE_MINGW_PREFIX}")
endif()
# try_compile projects read this file again: hand them the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES INDAHOUSE_MINGW_PREFIX)

set(CMAKE_FIND_ROOT_PATH ${MINGW_ROOT} ${INDAHOUSE_MINGW_PREFIX})
# Libraries, headers and packages come only from the target's roots; programs
# (pkg-config, code generators) are the build machine's own.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# MinGW ships zlib as both libz.a and an import library for zlib1.dll; a plain
# find_library may take the latter, and the program would then need the DLL.
set(ZLIB_LIBRARY ${MINGW_ROOT}/lib/libz.a CACHE FILEPATH "static zlib")
set(ZLIB_INCLUDE_DIR ${MINGW_ROOT}/include CACHE PATH "zlib headers")

# Only the prefix's .pc files: otherwise the build machine's Linux ones
# (found through the default search path) leak into the Windows link.
if(INDAHOUSE_MINGW_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "${INDAHOUSE_MINGW_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
# Every library in the prefix is static, so a pkg-config module must also
# name the libraries it builds on (libsndfile: FLAC, Vorbis, Ogg, Opus).
set(PKG_CONFIG_ARGN --static CACHE STRING "Arguments to supply to pkg-config")
