# Cross-compiles for 64-bit Windows: the run-time tests under Wine use this
# build on machines that cannot execute 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# The oldest Windows the 64-bit programs run on: Windows 7 (NT 6.1).
set(KORVANE_WINDOWS_FLOOR "7")
set(KORVANE_WINDOWS_FLOOR_NT 6.1)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
