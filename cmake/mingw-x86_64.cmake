# Cross toolchain for the x86_64 test build of the Windows target: the same
# sources as the 32-bit product, run under 64-bit Wine on hosts that run no
# 32-bit x86 code. Its libraries live in their own folder under the
# dependency folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(PELMAR_X64_DEPS $ENV{PELMAR_DEPS})
if(NOT PELMAR_X64_DEPS)
  set(PELMAR_X64_DEPS /opt/pelmar-deps)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${PELMAR_X64_DEPS}/x86_64)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# ctest starts every Windows test through the project's one Wine wrapper,
# told which loader this build needs.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine --arch=x86_64)
