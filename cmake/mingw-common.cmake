# What both Windows toolchains share: Debian's mingw-w64 cross compilers for
# CMAKE_SYSTEM_PROCESSOR, its sysroot only for libraries and headers, and the
# GCC run-time libraries linked in, so that no DLL of theirs ships.
set(CMAKE_SYSTEM_NAME Windows)
set(mingw_prefix ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Debug information for every configuration: the package strips it from the
# binaries it ships into a debug zip of its own (package/CMakeLists.txt). -g
# does not change the code GCC generates.
set(CMAKE_C_FLAGS_INIT "-g")
set(CMAKE_CXX_FLAGS_INIT "-g")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
