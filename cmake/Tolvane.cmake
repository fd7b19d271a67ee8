# Helpers shared by every layer: warnings, sanitizers, libraries and tests.

option(TOLVANE_WERROR "Treat compiler warnings as errors" OFF)
set(TOLVANE_SANITIZE "" CACHE STRING "Sanitizers to build with: address,undefined or thread")

set(TOLVANE_WARNINGS -Wall -Wextra -Wpedantic -Wold-style-cast)
if(TOLVANE_WERROR)
    list(APPEND TOLVANE_WARNINGS -Werror)
endif()

if(TOLVANE_SANITIZE)
    add_compile_options(-fsanitize=${TOLVANE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${TOLVANE_SANITIZE})
endif()

# libFuzzer entry points of the parsers (fuzz/). Every library is instrumented for
# coverage; only the fuzzer executables link the libFuzzer driver.
option(TOLVANE_FUZZ "Build the libFuzzer entry points (clang only)" OFF)
if(TOLVANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "TOLVANE_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# tolvane_layer_headers(TARGET SCOPE FOLDER... | FILES FILE...)
# Includes are written from the repository root ("storage/cvrec.h"), but no target sees
# the root: each library sees its own folder and, through its links, the folders of the
# layers it uses, and nothing else, so a header of a layer above fails to compile.
# The folders are given as a directory of the build tree that mirrors the root's
# layout with links: build/layers/storage/storage -> <root>/storage.
function(tolvane_layer_headers target scope)
    cmake_parse_arguments(ARG "" "" "FOLDERS;FILES" ${ARGN})
    set(root ${PROJECT_BINARY_DIR}/layers/${target})
    foreach(path IN LISTS ARG_FOLDERS ARG_FILES)
        get_filename_component(parent "${root}/${path}" DIRECTORY)
        file(MAKE_DIRECTORY "${parent}")
        file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${path}" "${root}/${path}" SYMBOLIC)
    endforeach()
    target_include_directories(${target} ${scope} ${root})
endfunction()

# tolvane_library(NAME SOURCES ... [DEPS ...] [PRIVATE_DEPS ...] [FOLDER folder])
# One static library per layer. It sees its own folder (FOLDER, by default the folder
# of the CMakeLists.txt that makes it) and the headers of its DEPS, which it passes on to
# whoever links it; see tolvane_layer_headers.
function(tolvane_library name)
    cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
    if(NOT ARG_FOLDER)
        file(RELATIVE_PATH ARG_FOLDER ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    endif()
    add_library(${name} STATIC ${ARG_SOURCES})
    tolvane_layer_headers(${name} PUBLIC FOLDERS ${ARG_FOLDER})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
    target_compile_options(${name} PRIVATE ${TOLVANE_WARNINGS})
endfunction()

# tolvane_test(NAME LABEL layer SOURCES ... [DEPS ...] [TIMEOUT seconds])
# One GoogleTest binary per concept; the label names the layer so that
# `ctest -L storage` runs one layer alone.
function(tolvane_test name)
    cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;DEPS" ${ARGN})
    if(NOT ARG_LABEL)
        message(FATAL_ERROR "tolvane_test(${name}) needs a LABEL")
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} tolvane_testsupport GTest::gmock GTest::gtest)
    target_compile_options(${name} PRIVATE ${TOLVANE_WARNINGS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TOLVANE_TEST_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# tolvane_fuzzer(NAME SOURCES ... [DEPS ...])
# One libFuzzer executable per parser; run it with a corpus directory or for a time
# (`./build-fuzz/fuzz/NAME -max_total_time=60`).
function(tolvane_fuzzer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
    target_compile_options(${name} PRIVATE ${TOLVANE_WARNINGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
