# The build's version. project() names X.Y.Z, the release the sources lead to;
# the git checkout they are in says which build of it this is:
#
#   X.Y.Z                   HEAD is tagged vX.Y.Z and no tracked file is changed
#   X.Y.Z-dev+gHASH         any other commit (HASH: HEAD's, 10 hex digits)
#   X.Y.Z-dev+gHASH.dirty   the same with tracked files changed
#   X.Y.Z-dev+unknown       the sources are not a git checkout of their own, or
#                           there is no git: nothing tells which build it is
#
# A clean HEAD tagged vA.B.C, none of its tags vX.Y.Z, fails: a release would
# go out with one version in its tag and another in its files. A changed tree
# is a development build whatever its tags say, so that project() can be
# bumped before the commit that is tagged. Untracked files do not make a tree
# dirty: a build takes them in only through a tracked file, which is then
# changed.
#
# The resources' numeric version is X.Y.Z.B, B the build number: 0 for a
# release and without git; else the commits since the newest vA.B.C tag that
# HEAD descends from, or since the first commit when there is none; at most
# 65535, the most a field of the numeric version holds.
#
# The version is computed at every build, not when configuring, so that a
# commit, a checkout, a new tag or an edit shows in the next build without
# configuring again; the step rewrites its file only when the version
# changes, so that an unchanged version rebuilds nothing.
#
# Used in three ways:
#   include(version) then korvane_add_version_step(): the target
#     korvane_version, which writes KORVANE_VERSION_FILE at every build;
#     korvane_configure_with_version() makes a file from a template with it.
#   cmake -DKORVANE_SOURCE_DIR=DIR -DKORVANE_RELEASE=X.Y.Z -DKORVANE_GIT=GIT
#         -DKORVANE_VERSION_FILE=FILE -P version.cmake
#     the step: writes FILE (set() lines for include()) when it changes.
#   cmake -DKORVANE_VERSION_FILE=FILE -DKORVANE_TEMPLATE=IN -DKORVANE_OUTPUT=OUT
#         [-DNAME=VALUE...] -P version.cmake
#     configures IN into OUT (@ONLY) with FILE's variables and NAME.

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  cmake_minimum_required(VERSION 3.20)
endif()

set(KORVANE_BUILD_NUMBER_MAX 65535)

# _korvane_git(OUT ARGS...): git's output in OUT, or OUT-NOTFOUND when it fails.
function(_korvane_git out)
  execute_process(COMMAND ${KORVANE_GIT} ${ARGN} WORKING_DIRECTORY ${KORVANE_SOURCE_DIR}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(status EQUAL 0)
    set(${out} "${output}" PARENT_SCOPE)
  else()
    set(${out} ${out}-NOTFOUND PARENT_SCOPE)
  endif()
endfunction()

# _korvane_is_checkout(OUT): whether KORVANE_SOURCE_DIR is the top of a git
# checkout with a commit; sources unpacked inside another checkout are not.
function(_korvane_is_checkout out)
  set(${out} FALSE PARENT_SCOPE)
  if(NOT KORVANE_GIT OR NOT EXISTS "${KORVANE_GIT}")
    return()
  endif()
  _korvane_git(top rev-parse --show-toplevel)
  _korvane_git(head rev-parse --verify --quiet HEAD)
  file(REAL_PATH "${KORVANE_SOURCE_DIR}" source)
  if(top AND head AND top STREQUAL source)
    set(${out} TRUE PARENT_SCOPE)
  endif()
endfunction()

# _korvane_release_tags(OUT): HEAD's tags of the form vA.B.C.
function(_korvane_release_tags out)
  _korvane_git(tags tag --points-at HEAD --list v*)
  string(REPLACE "\n" ";" tags "${tags}")
  list(FILTER tags INCLUDE REGEX "^v[0-9]+\\.[0-9]+\\.[0-9]+$")
  set(${out} "${tags}" PARENT_SCOPE)
endfunction()

# _korvane_build_number(OUT): commits since the newest vA.B.C tag HEAD
# descends from (v1.1.0-rc1 and v1.1 do not count), or since the first commit.
function(_korvane_build_number out)
  _korvane_git(tag describe --tags --abbrev=0 --match v[0-9]*.[0-9]*.[0-9]* --exclude v*[!0-9.]* HEAD)
  if(tag)
    _korvane_git(count rev-list --count ${tag}..HEAD)
  else()
    _korvane_git(count rev-list --count HEAD)
  endif()
  if(NOT count MATCHES "^[0-9]+$")
    set(count 0)
  elseif(count GREATER KORVANE_BUILD_NUMBER_MAX)
    set(count ${KORVANE_BUILD_NUMBER_MAX})
  endif()
  set(${out} ${count} PARENT_SCOPE)
endfunction()

# korvane_version(OUT_STRING OUT_BUILD): the version of the sources in
# KORVANE_SOURCE_DIR, whose project() names KORVANE_RELEASE, as git
# (KORVANE_GIT; empty for none) tells it.
function(korvane_version out_string out_build)
  _korvane_is_checkout(checkout)
  if(NOT checkout)
    set(${out_string} ${KORVANE_RELEASE}-dev+unknown PARENT_SCOPE)
    set(${out_build} 0 PARENT_SCOPE)
    return()
  endif()
  # A build's git status must not take the index's lock from a git command
  # the developer runs at the same time.
  set(ENV{GIT_OPTIONAL_LOCKS} 0)
  _korvane_git(changes status --porcelain --untracked-files=no)
  if(changes STREQUAL "changes-NOTFOUND")
    # A status git cannot give is no proof of a clean tree.
    set(changes "unknown")
  endif()
  _korvane_release_tags(tags)
  if(NOT changes AND tags)
    if(v${KORVANE_RELEASE} IN_LIST tags)
      set(${out_string} ${KORVANE_RELEASE} PARENT_SCOPE)
      set(${out_build} 0 PARENT_SCOPE)
      return()
    endif()
    list(JOIN tags ", " tags)
    message(FATAL_ERROR "HEAD is tagged ${tags}, but project() in CMakeLists.txt names version ${KORVANE_RELEASE}: "
                        "bump project() to the tag's version, or tag the commit that has it (v${KORVANE_RELEASE})")
  endif()
  _korvane_git(hash rev-parse --short=10 HEAD)
  set(string ${KORVANE_RELEASE}-dev+g${hash})
  if(changes)
    string(APPEND string .dirty)
  endif()
  _korvane_build_number(build)
  set(${out_string} ${string} PARENT_SCOPE)
  set(${out_build} ${build} PARENT_SCOPE)
endfunction()

# korvane_write_version_file(FILE): FILE gets the version's set() lines,
# written only when they change.
function(korvane_write_version_file file)
  korvane_version(string build)
  if(NOT KORVANE_RELEASE MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "project() names version ${KORVANE_RELEASE}; the build needs three numbers, X.Y.Z")
  endif()
  file(CONFIGURE OUTPUT ${file} @ONLY CONTENT [[
# Written at each build by cmake/version.cmake: the build's version.
set(KORVANE_VERSION_STRING "@string@")
set(KORVANE_VERSION_MAJOR @CMAKE_MATCH_1@)
set(KORVANE_VERSION_MINOR @CMAKE_MATCH_2@)
set(KORVANE_VERSION_PATCH @CMAKE_MATCH_3@)
set(KORVANE_VERSION_BUILD @build@)
set(KORVANE_FILE_VERSION @KORVANE_RELEASE@.@build@)
]])
endfunction()

# korvane_add_version_step(): the target korvane_version, which brings
# KORVANE_VERSION_FILE up to date at every build. The version is computed once
# here too, to show it and to fail at configure time on a mistagged release.
function(korvane_add_version_step)
  find_package(Git QUIET)
  set(KORVANE_SOURCE_DIR ${CMAKE_SOURCE_DIR})
  set(KORVANE_RELEASE ${PROJECT_VERSION})
  set(KORVANE_GIT "${GIT_EXECUTABLE}")
  korvane_version(string build)
  message(STATUS "Version: ${string} (file version ${PROJECT_VERSION}.${build})")
  set(file ${CMAKE_BINARY_DIR}/version/korvane_version.cmake)
  add_custom_target(korvane_version ALL
    COMMAND ${CMAKE_COMMAND} -DKORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR} -DKORVANE_RELEASE=${PROJECT_VERSION}
            -DKORVANE_GIT=${GIT_EXECUTABLE} -DKORVANE_VERSION_FILE=${file} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    BYPRODUCTS ${file}
    COMMENT "The build's version"
    VERBATIM)
  set(KORVANE_VERSION_FILE ${file} PARENT_SCOPE)
endfunction()

# korvane_configure_with_version(TARGET TEMPLATE OUTPUT [NAME=VALUE...]): the
# target TARGET makes OUTPUT from TEMPLATE (@ONLY) whenever the version
# changes, with the version file's variables and the NAMEs given.
function(korvane_configure_with_version target template output)
  set(definitions "")
  foreach(assignment IN LISTS ARGN)
    list(APPEND definitions -D${assignment})
  endforeach()
  get_filename_component(template ${template} ABSOLUTE)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DKORVANE_VERSION_FILE=${KORVANE_VERSION_FILE} -DKORVANE_TEMPLATE=${template}
            -DKORVANE_OUTPUT=${output} ${definitions} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    DEPENDS ${template} ${KORVANE_VERSION_FILE} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
  add_dependencies(${target} korvane_version)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(DEFINED KORVANE_TEMPLATE)
    include(${KORVANE_VERSION_FILE})
    configure_file(${KORVANE_TEMPLATE} ${KORVANE_OUTPUT} @ONLY)
  else()
    korvane_write_version_file(${KORVANE_VERSION_FILE})
  endif()
endif()
