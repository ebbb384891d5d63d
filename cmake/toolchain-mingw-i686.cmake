# Cross build for 32-bit Windows with mingw-w64: the program users download.
# No emulator: these machines cannot execute 32-bit code, so this build is
# only inspected.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(TOLVANE_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOLVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLVANE_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOLVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
