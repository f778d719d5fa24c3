# What both MinGW-w64 cross builds share, for the triplet TRELMOSS_MINGW_TRIPLET. The POSIX
# thread-model compilers are used because GoogleTest needs std::mutex; everything is linked
# statically, so the executables need no MinGW DLLs on Windows or under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TRELMOSS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRELMOSS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TRELMOSS_MINGW_TRIPLET}-windres)
set(TRELMOSS_MESSAGE_COMPILER ${TRELMOSS_MINGW_TRIPLET}-windmc)
set(CMAKE_FIND_ROOT_PATH /usr/${TRELMOSS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
