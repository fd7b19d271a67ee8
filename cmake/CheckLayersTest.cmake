# The layer check on a small tree of its own: it must name every include that breaks
# the layers (file, line, header), pass the ones that keep them, refuse a folder without
# a rule, and pass once the offending files are gone.
#
#   cmake -DCHECK=cmake/CheckLayers.cmake -DWORK=<scratch directory> -P cmake/CheckLayersTest.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT CHECK OR NOT WORK)
    message(FATAL_ERROR "CheckLayersTest: pass -DCHECK=<CheckLayers.cmake> -DWORK=<directory>")
endif()

set(tree "${WORK}/tree")
file(REMOVE_RECURSE "${tree}")

function(write path)
    string(REPLACE "|" "\n" text "${ARGN}")
    file(WRITE "${tree}/${path}" "${text}\n")
endfunction()

# Includes that keep the layers.
write(transport/ok.h "#pragma once|#include \"model/pagingcodes.h\"|#include \"platform/net/tcpsocket.h\"|#include \"log/cveventlog.h\"|#include <vector>")
write(engine/ok.cpp "#include \"engine/ok.h\"|#include \"transport/ok.h\"|#include \"inbound/host.h\"|#include \"model/tvpagemsg.h\"")
write(tests/objects/ok_test.cpp "#include \"objects/cvbob.h\"|#include \"tests/storage/storagefixture.h\"|#include \"tests/support/tempdir.h\"|#include \"tools/ddfwriter/ddfwriter.h\"|#include \"local.h\"")
write(platform/recman/ok.cpp "#include \"platform/core/clock.h\"|#include \"platform/recman/recman.h\"")
write(tools/ddfwriter/ok.cpp "#include \"storage/cvrec.h\"|#include \"platform/recman/recman.h\"")
write(gui/ok.cpp "#include \"app/tvapp.h\"|#include \"reports/list.h\"")
# Includes that break them; the semicolons and brackets before the include must not
# throw the line number off.
write(transport/bad.h "#pragma once|int a[2]; int b; // [|#include \"model/tvpagemsg.h\"")
write(platform/core/bad.cpp "#include \"platform/recman/recman.h\"")
write(storage/bad.cpp "#include \"storage/cvrec.h\"|#include \"objects/cvbob.h\"")
write(tests/log/bad_test.cpp "#include \"log/cveventlog.h\"|#include \"storage/cvrec.h\"")
write(reports/bad.cpp "#include \"model/tvpagemsg.h\"|#include \"engine/tvserver.h\"")
write(tests/support/bad.h "#include \"model/tvpagemsg.h\"")
# A folder without a rule.
write(tests/newthing/thing_test.cpp "#include \"log/cveventlog.h\"")

set(expected
    "transport/bad.h:3: transport may not include \"model/tvpagemsg.h\""
    "platform/core/bad.cpp:1: platform/core may not include \"platform/recman/recman.h\""
    "storage/bad.cpp:2: storage may not include \"objects/cvbob.h\""
    "tests/log/bad_test.cpp:2: tests/log may not include \"storage/cvrec.h\""
    "reports/bad.cpp:2: reports may not include \"engine/tvserver.h\""
    "tests/support/bad.h:1: tests/support may not include \"model/tvpagemsg.h\""
    "tests/newthing/thing_test.cpp: the layer tests/newthing has no rule")

execute_process(COMMAND "${CMAKE_COMMAND}" -DROOT=${tree} -P "${CHECK}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(report "${out}${err}")
if(status EQUAL 0)
    message(FATAL_ERROR "the check passed a tree that breaks the layers:\n${report}")
endif()
foreach(line IN LISTS expected)
    string(FIND "${report}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the check did not say: ${line}\nIt said:\n${report}")
    endif()
endforeach()
string(REGEX MATCHALL "may not include" complaints "${report}")
list(LENGTH complaints complaint_count)
if(NOT complaint_count EQUAL 6)
    message(FATAL_ERROR "expected 6 refused includes, the check found ${complaint_count}:\n${report}")
endif()

# Without the offending files the same tree passes.
file(REMOVE "${tree}/transport/bad.h" "${tree}/platform/core/bad.cpp" "${tree}/storage/bad.cpp"
    "${tree}/tests/log/bad_test.cpp" "${tree}/reports/bad.cpp" "${tree}/tests/support/bad.h")
file(REMOVE_RECURSE "${tree}/tests/newthing")
execute_process(COMMAND "${CMAKE_COMMAND}" -DROOT=${tree} -P "${CHECK}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the check refused a tree that keeps the layers:\n${out}${err}")
endif()
file(REMOVE_RECURSE "${tree}")
message(STATUS "The layer check names what breaks the layers and passes what keeps them")
