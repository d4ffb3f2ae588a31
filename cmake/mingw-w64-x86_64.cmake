# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, which std::thread and std::mutex need), for Hexvac and for the Qt
# and libraries scripts/windows builds for it.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#         -DHEXVAC_WINDOWS_PREFIX=<the folder the Windows Qt and libraries are in> ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HEXVAC_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HEXVAC_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HEXVAC_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HEXVAC_MINGW_TRIPLE}-windres)

# Libraries, headers and CMake packages come from the Windows side only:
# mingw's own folder and the prefix of the Windows dependencies. Programs
# (moc, uic, the Qt host tools) are the build machine's.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HEXVAC_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${HEXVAC_MINGW_TRIPLE})
if(HEXVAC_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${HEXVAC_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config looks at the Windows prefix only, never at the build machine's
# .pc files.
if(HEXVAC_WINDOWS_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "${HEXVAC_WINDOWS_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
