# Cross build of the 64-bit Windows test tools with MinGW-w64: the probe of the profile functions,
# which Wine runs on this machine's own kernel without an emulated 32-bit machine.
set(TRELMOSS_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
