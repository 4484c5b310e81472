cmake_minimum_required(VERSION 3.25)
# Fails when a unit includes a header from a folder that is not below its own. Each folder is a library that
# links only the folders named after it here; every include names its folder. Only the engine's own folder
# includes the engine's header or calls it.
set(layers
    "store/value="
    "store/engine=store/value"
    "store/jet=store/value,store/engine"
    "store/ledger=store/value,store/engine,store/jet"
    "ui/base="
    "ui/print=ui/base"
    "ui/grid=ui/base,ui/print"
    "ui/window=ui/base,ui/print,ui/grid"
    "windows/common=store/*,ui/*"
    "windows/transfer=store/*,ui/*,windows/common"
    "windows/reports=store/*,ui/*,windows/common"
    "windows/ledger=store/*,ui/*,windows/common,windows/transfer,windows/reports"
    "app=store/*,ui/*,windows/*")
set(wrong "")
set(count 0)
foreach(layer ${layers})
    string(REPLACE "=" ";" parts "${layer}")
    list(GET parts 0 folder)
    list(LENGTH parts length)
    set(allowed "")
    if(length GREATER 1)
        list(GET parts 1 below)
        string(REPLACE "," ";" allowed "${below}")
    endif()
    file(GLOB sources ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
    foreach(source ${sources})
        math(EXPR count "${count} + 1")
        # The engine's header and its calls stay in store/engine.
        if(NOT folder STREQUAL "store/engine")
            file(STRINGS ${source} engine REGEX "^#include <sqlcipher/|sqlite3_[a-z]|struct sqlite3")
            if(engine)
                list(APPEND wrong "${source}: the engine's header or calls outside store/engine")
            endif()
        endif()
        file(STRINGS ${source} includes REGEX "^#include \"")
        foreach(line ${includes})
            string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" header "${line}")
            string(REGEX MATCH "^(store|ui|windows|app)(/[a-z]+)?/" prefix "${header}")
            if(NOT prefix)
                list(APPEND wrong "${source}: ${header} names no folder")
                continue()
            endif()
            string(REGEX REPLACE "/$" "" included "${prefix}")
            string(REGEX REPLACE "/[^/]*$" "" top "${included}")
            if(included STREQUAL folder OR "${top}/*" IN_LIST allowed OR included IN_LIST allowed)
                continue()
            endif()
            list(APPEND wrong "${source}: ${header}")
        endforeach()
    endforeach()
endforeach()
if(wrong)
    string(REPLACE ";" "\n" wrong "${wrong}")
    message(FATAL_ERROR "includes that go upwards or sideways:\n${wrong}")
endif()
message(STATUS "${count} files include only their own folder and the folders below it")
