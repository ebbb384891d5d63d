# Cross build for 32-bit Windows with mingw-w64: the program users download.
# Its tests run under the 32-bit Wine, which runs under qemu-i386 here.
set(TOLVANE_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine-run.sh --x86)
