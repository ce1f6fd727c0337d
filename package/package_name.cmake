# Read by CPack as it packs, once the build has brought the version file up to
# date: the package takes the build's version, not the one of the configure
# run, which a commit since would have made stale.
include(${CPACK_KORVANE_VERSION_FILE})
set(CPACK_PACKAGE_VERSION ${KORVANE_VERSION_STRING})
set(CPACK_PACKAGE_FILE_NAME korvane-${KORVANE_VERSION_STRING}-${CPACK_KORVANE_ARCH})
# The two zips of the component install: the package and its debug information.
set(CPACK_ARCHIVE_RUNTIME_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
set(CPACK_ARCHIVE_DEBUG_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}-debug)
