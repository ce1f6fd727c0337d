# Cross-compiles for 32-bit Windows with Debian's mingw-w64 toolchain.
set(CMAKE_SYSTEM_PROCESSOR i686)
# The oldest Windows the 32-bit programs run on: Windows XP SP3 (NT 5.1), as
# on the terminals that still run an XP-based embedded Windows.
set(KORVANE_WINDOWS_FLOOR "XP SP3")
set(KORVANE_WINDOWS_FLOOR_NT 5.1)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
