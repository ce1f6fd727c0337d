# Run by CPack after it has staged the package's files and before it zips
# them: signs every PE file of the runtime component with Authenticode, when a
# certificate is given, and reports each binary's size.
#
# The certificate comes from the environment, so that no secret is written
# into the build tree's cache:
#   KORVANE_SIGN_PFX            a PKCS#12 file with the code-signing key and certificate
#   KORVANE_SIGN_PASSWORD_FILE  a file whose first line is that file's password
#   KORVANE_SIGN_TIMESTAMP_URL  (optional) an RFC 3161 timestamp server
# Without the first two, the files are zipped unsigned, and one line says so.

set(staged ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
file(GLOB pe_files LIST_DIRECTORIES false "${staged}/runtime/bin/*.dll" "${staged}/runtime/bin/*.exe")
list(SORT pe_files)

set(pfx "$ENV{KORVANE_SIGN_PFX}")
set(password_file "$ENV{KORVANE_SIGN_PASSWORD_FILE}")
set(timestamp_url "$ENV{KORVANE_SIGN_TIMESTAMP_URL}")

function(sign_pe_file file)
  set(timestamp "")
  if(timestamp_url)
    set(timestamp -ts ${timestamp_url})
  endif()
  execute_process(
    COMMAND ${osslsigncode} sign -pkcs12 ${pfx} -readpass ${password_file} -h sha256 -n KORVANE ${timestamp}
            -in ${file} -out ${file}.signed
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "signing ${file} failed:\n${output}")
  endif()
  file(RENAME ${file}.signed ${file})
endfunction()

if(pfx AND password_file)
  find_program(osslsigncode osslsigncode)
  if(NOT osslsigncode)
    message(FATAL_ERROR "a certificate is given (KORVANE_SIGN_PFX) but osslsigncode is not installed")
  endif()
  foreach(path IN ITEMS "${pfx}" "${password_file}")
    if(NOT EXISTS "${path}")
      message(FATAL_ERROR "${path} (KORVANE_SIGN_PFX or KORVANE_SIGN_PASSWORD_FILE) does not exist")
    endif()
  endforeach()
  foreach(file IN LISTS pe_files)
    sign_pe_file(${file})
  endforeach()
  set(signed "signed with ${pfx}")
elseif(pfx OR password_file)
  message(FATAL_ERROR "signing needs both KORVANE_SIGN_PFX and KORVANE_SIGN_PASSWORD_FILE")
else()
  message(STATUS "Not signing: no certificate given (KORVANE_SIGN_PFX, KORVANE_SIGN_PASSWORD_FILE)")
  set(signed unsigned)
endif()

foreach(file IN LISTS pe_files)
  get_filename_component(name ${file} NAME)
  file(SIZE ${file} size)
  file(SIZE ${staged}/debug/bin/${name}.debug debug_size)
  math(EXPR kib "(${size} + 512) / 1024")
  math(EXPR debug_kib "(${debug_size} + 512) / 1024")
  message(STATUS "${name}: ${kib} KiB (${size} bytes), ${signed}; its debug information ${debug_kib} KiB")
endforeach()
