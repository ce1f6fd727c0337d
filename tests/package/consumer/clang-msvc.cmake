# clang for the MSVC target, linking with lld-link, where neither a Windows SDK
# nor a C runtime is at hand: enough for a program that, as msvc_caller.c,
# defines its own entry point and calls kernel32 only. From the command line:
#   KORVANE_MSVC_TRIPLE   i686-pc-windows-msvc or x86_64-pc-windows-msvc
#   KORVANE_KERNEL32_LIB  an import library of kernel32
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${KORVANE_MSVC_TRIPLE})
set(CMAKE_LINKER lld-link)
# The compiler checks build a static library, since no program links without a runtime.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVANE_MSVC_TRIPLE KORVANE_KERNEL32_LIB)
set(CMAKE_C_FLAGS_INIT -ffreestanding)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Xlinker /nodefaultlib -Xlinker /entry:mainCRTStartup")
# In place of the SDK's libraries that CMake would name.
set(CMAKE_C_STANDARD_LIBRARIES ${KORVANE_KERNEL32_LIB} CACHE STRING "The libraries every program links")
