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

# tolvane_library(NAME SOURCES ... [DEPS ...])
# One static library per layer; includes are written from the repository root
# ("storage/cvrec.h"), so every target sees the root as its include directory.
function(tolvane_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
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
