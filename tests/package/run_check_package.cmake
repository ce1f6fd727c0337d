# Runs check_package.sh ARCH BUILD_DIR with the version of the build, read
# from KORVANE_VERSION_FILE as the build last wrote it.
#   cmake -DKORVANE_VERSION_FILE=FILE -DCHECK_PACKAGE=SCRIPT -DARCH=ARCH -DBUILD_DIR=DIR -P run_check_package.cmake
include(${KORVANE_VERSION_FILE})
execute_process(COMMAND bash ${CHECK_PACKAGE} ${ARCH} ${BUILD_DIR} ${KORVANE_VERSION_STRING} ${KORVANE_FILE_VERSION}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "check_package.sh failed (${status})")
endif()
