# The third-party libraries of the Windows build: static builds in the prefix
# that scripts/windows-deps.sh fills (see scripts/mingw-w64-toolchain.cmake).
# Each is given the target name the Linux build uses, so the folders' own
# CMakeLists link the same names on both systems.

# A pkg-config module as a target that links its static form (Libs.private
# too): libsndfile's codecs, FreeType's own dependencies.
function(add_static_pkg target module)
    string(MAKE_C_IDENTIFIER "${target}" var)
    pkg_check_modules(${var} REQUIRED ${module})
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES
        INTERFACE_LINK_LIBRARIES "${${var}_STATIC_LDFLAGS}"
        INTERFACE_INCLUDE_DIRECTORIES "${${var}_STATIC_INCLUDE_DIRS}"
        INTERFACE_COMPILE_OPTIONS "${${var}_STATIC_CFLAGS_OTHER}")
endfunction()

find_package(PkgConfig REQUIRED)
find_package(PNG REQUIRED)
add_static_pkg(PkgConfig::SNDFILE sndfile)
# A codec built with the stack protector or _FORTIFY_SOURCE (Opus turns them
# on by itself) needs GCC's libssp; static like the rest, and unused otherwise.
set_property(TARGET PkgConfig::SNDFILE APPEND PROPERTY INTERFACE_LINK_LIBRARIES ssp)
add_static_pkg(PkgConfig::FREETYPE freetype2)
# Tracker modules when the prefix has libopenmpt (windows-deps.sh --with-openmpt).
pkg_check_modules(OPENMPT_FOUND_CHECK QUIET libopenmpt)
if(OPENMPT_FOUND_CHECK_FOUND)
    add_static_pkg(PkgConfig::OPENMPT libopenmpt)
    set(INDAHOUSE_HAS_OPENMPT ON)
else()
    message(STATUS "libopenmpt not in the prefix: the show refuses tracker modules")
    set(INDAHOUSE_HAS_OPENMPT OFF)
endif()

find_path(KISSFFT_INCLUDE_DIR kiss_fftr.h PATH_SUFFIXES kissfft REQUIRED)
find_library(KISSFFT_LIBRARY NAMES kissfft-float REQUIRED)
add_library(kissfft::kissfft STATIC IMPORTED)
set_target_properties(kissfft::kissfft PROPERTIES IMPORTED_LOCATION "${KISSFFT_LIBRARY}"
                                                  INTERFACE_INCLUDE_DIRECTORIES "${KISSFFT_INCLUDE_DIR}")

# SDL's static library with the system libraries it needs; the show's main
# is a plain main (SDL_SetMainReady), so no SDL2main.
find_package(SDL2 CONFIG REQUIRED)
if(NOT TARGET SDL2::SDL2)
    add_library(SDL2::SDL2 ALIAS SDL2::SDL2-static)
endif()

find_package(OpenGL REQUIRED COMPONENTS OpenGL)
find_package(Threads REQUIRED)
find_package(FLTK CONFIG REQUIRED) # FLTK_DIR=PREFIX/CMake
# FLTK 1.3's target names no headers (Debian's are in /usr/include).
set_property(TARGET fltk APPEND PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${FLTK_INCLUDE_DIRS})

# CLI11 is header-only and the same on every system: take the build
# machine's copy, through a folder of its own so that no other Linux header
# comes into the Windows build's include path.
find_path(CLI11_HOST_INCLUDE CLI/CLI.hpp PATHS /usr/include /usr/local/include
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cli11)
file(CREATE_LINK ${CLI11_HOST_INCLUDE}/CLI ${CMAKE_BINARY_DIR}/cli11/CLI SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/cli11)

# No DLL beside the programs: the C and C++ runtimes and winpthreads go in
# every executable, so only Windows' own DLLs are imported.
add_link_options(-static -static-libgcc -static-libstdc++)

# What ships carries no debug information (the MinGW runtime and the
# libraries bring theirs): a third of each program's size.
if(CMAKE_BUILD_TYPE STREQUAL "Release")
    add_link_options(-s)
endif()
