# Fetches the SQLCipher 4.5.5 amalgamation (one sqlite3.c) from the npm registry and unpacks it into DESTINATION:
# DESTINATION/sqlite3.c and DESTINATION/include/sqlcipher/sqlite3.h. Run in script mode:
#   cmake -DNPM=<npm> -DDESTINATION=<folder> [-DTARBALL=<a local copy of the package>] -P FetchSqlCipher4.cmake
# The package's SHA-1 is checked whichever way it came.
set(package "@commapp/sqlcipher-amalgamation@4.5.5")
set(expected_sha1 "908c5c30edbb8c2381cc45176f08b73e52624b3c")

set(download "${DESTINATION}/download")
file(REMOVE_RECURSE "${download}")
file(MAKE_DIRECTORY "${download}")
if(TARBALL)
    set(tarball "${TARBALL}")
else()
    if(NOT NPM)
        message(FATAL_ERROR "npm is needed to fetch ${package} (Debian package npm; scripts/setup.sh installs it)")
    endif()
    execute_process(COMMAND "${NPM}" pack "${package}" --silent --pack-destination "${download}"
                    WORKING_DIRECTORY "${download}" RESULT_VARIABLE result OUTPUT_VARIABLE name
                    ERROR_VARIABLE error OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "npm pack ${package} failed: ${error}")
    endif()
    file(GLOB tarball "${download}/*.tgz")
endif()
if(NOT EXISTS "${tarball}")
    message(FATAL_ERROR "no package file of ${package} at '${tarball}'")
endif()
file(SHA1 "${tarball}" sha1)
if(NOT sha1 STREQUAL expected_sha1)
    message(FATAL_ERROR "${tarball} is not ${package}: SHA-1 ${sha1}, expected ${expected_sha1}")
endif()
file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${download}")
file(MAKE_DIRECTORY "${DESTINATION}/include/sqlcipher")
file(COPY_FILE "${download}/package/src/sqlite3.c" "${DESTINATION}/sqlite3.c")
file(COPY_FILE "${download}/package/src/sqlite3.h" "${DESTINATION}/include/sqlcipher/sqlite3.h")
file(COPY_FILE "${download}/package/LICENSE" "${DESTINATION}/LICENSE")
file(REMOVE_RECURSE "${download}")
