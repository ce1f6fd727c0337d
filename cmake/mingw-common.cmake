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
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# The floor, KORVANE_WINDOWS_FLOOR_NT (major.minor), set by the toolchain file
# that includes this one. Every program and DLL is compiled against the
# headers of that Windows, so that a call it lacks does not compile, and its
# PE header asks for that Windows and no later one.
string(REPLACE "." ";" floor_parts ${KORVANE_WINDOWS_FLOOR_NT})
list(GET floor_parts 0 floor_major)
list(GET floor_parts 1 floor_minor)
math(EXPR floor_winnt "(${floor_major} << 8) | ${floor_minor}" OUTPUT_FORMAT HEXADECIMAL)
set(floor_defines "-D_WIN32_WINNT=${floor_winnt} -DWINVER=${floor_winnt}")
# Debug information in every configuration too: the package strips it from
# the binaries it ships into a debug zip of its own (package/CMakeLists.txt).
# -g does not change the code GCC generates.
set(CMAKE_C_FLAGS_INIT "-g ${floor_defines}")
set(CMAKE_CXX_FLAGS_INIT "-g ${floor_defines}")
set(CMAKE_RC_FLAGS_INIT "${floor_defines}")
set(floor_link "-Wl,--major-os-version,${floor_major},--minor-os-version,${floor_minor}")
string(APPEND floor_link ",--major-subsystem-version,${floor_major},--minor-subsystem-version,${floor_minor}")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " ${floor_link}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " ${floor_link}")
