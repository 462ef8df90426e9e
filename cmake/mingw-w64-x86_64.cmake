# Cross build for 64-bit Windows with mingw-w64; Wine runs the results, so
# CTest can execute Windows test programs directly.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
# The posix thread model gives GoogleTest its std::mutex; everything links
# statically, so no threading DLL ships beside the programs.
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_ASM_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(WINE_EXECUTABLE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT WINE_EXECUTABLE)
  find_program(WINE_EXECUTABLE NAMES wine64 wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
