# Cross-build for 64-bit Windows with MinGW-w64 (posix threads) against the
# static dependency prefix built by scripts/windows-deps. Tests run under Wine.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QI_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QI_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QI_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${QI_MINGW_HOST}-windres)

# Same default location as scripts/windows-deps. The symlink is resolved so a
# later dependency rebuild does not change an already configured tree.
if(NOT DEFINED QI_MINGW_PREFIX)
  if(DEFINED ENV{QI_MINGW_PREFIX} AND NOT "$ENV{QI_MINGW_PREFIX}" STREQUAL "")
    set(_qi_prefix "$ENV{QI_MINGW_PREFIX}")
  else()
    if(DEFINED ENV{QI_DEPS_CACHE} AND NOT "$ENV{QI_DEPS_CACHE}" STREQUAL "")
      set(_qi_cache "$ENV{QI_DEPS_CACHE}")
    elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
      set(_qi_cache "$ENV{XDG_CACHE_HOME}/quillora-installer")
    else()
      set(_qi_cache "$ENV{HOME}/.cache/quillora-installer")
    endif()
    set(_qi_prefix "${_qi_cache}/mingw-w64/current")
  endif()
  file(REAL_PATH "${_qi_prefix}" _qi_prefix)
  set(QI_MINGW_PREFIX "${_qi_prefix}" CACHE PATH "Static MinGW-w64 dependency prefix")
endif()
# try_compile projects read this file again without the parent's cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QI_MINGW_PREFIX)
if(NOT EXISTS "${QI_MINGW_PREFIX}/.complete" AND EXISTS "${CMAKE_BINARY_DIR}/CMakeCache.txt")
  message(FATAL_ERROR "This build folder was configured against the MinGW-w64 dependency prefix "
                      "${QI_MINGW_PREFIX}, which is gone (scripts/windows-deps made a newer one); "
                      "remove the build folder and configure it again")
elseif(NOT EXISTS "${QI_MINGW_PREFIX}/.complete")
  message(FATAL_ERROR "No complete MinGW-w64 dependency prefix at ${QI_MINGW_PREFIX}; "
                      "run scripts/windows-deps")
endif()

set(CMAKE_FIND_ROOT_PATH "${QI_MINGW_PREFIX}" /usr/${QI_MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Only the prefix's .pc files; the host's would silently link Linux libraries.
set(ENV{PKG_CONFIG_LIBDIR} "${QI_MINGW_PREFIX}/lib/pkgconfig:${QI_MINGW_PREFIX}/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
# The prefix holds static libraries only: each module brings its private dependencies
# (GLib's and cairo's system libraries, pango's chain down to pcre2 and libffi).
set(PKG_CONFIG_ARGN --static)

# libstdc++, libgcc and winpthread linked in: executables import system DLLs only.
foreach(_qi_kind EXE SHARED MODULE)
  set(CMAKE_${_qi_kind}_LINKER_FLAGS_INIT "-static")
endforeach()

# Each build tree gets its own Wine prefix (created on first use).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}")
