# Cross build for 32-bit Windows with mingw-w64: the program users download.
# No emulator: these machines cannot execute 32-bit code, so this build is
# only inspected.
set(TOLVANE_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
