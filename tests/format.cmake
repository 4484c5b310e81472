# Fails when clang-format would change any source file of the project.
file(GLOB_RECURSE sources
    ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/store/*.cpp ${SOURCE_DIR}/store/*.h
    ${SOURCE_DIR}/ui/*.cpp ${SOURCE_DIR}/ui/*.h ${SOURCE_DIR}/windows/*.cpp ${SOURCE_DIR}/windows/*.h
    ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h ${SOURCE_DIR}/bench/*.cpp ${SOURCE_DIR}/bench/*.h
    ${SOURCE_DIR}/main.cpp)
set(unformatted "")
foreach(f ${sources})
    execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${f} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    if(NOT rc EQUAL 0)
        list(APPEND unformatted ${f})
    endif()
endforeach()
list(LENGTH sources count)
if(unformatted)
    message(FATAL_ERROR "clang-format would change:\n${unformatted}")
endif()
message(STATUS "${count} files formatted")
