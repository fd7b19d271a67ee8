# The layers of the tree and what each may include, checked over every source file.
#
#   cmake -DROOT=<tree> -P cmake/CheckLayers.cmake
#
# Reads every `#include "x/..."` of every source under the layer folders and fails
# (exit status 1) naming file, line and header for each include of a layer the file's
# own layer may not use. A folder under a layer folder that has no rule here fails too,
# so a new layer cannot slip in unchecked. bench/ and fuzz/ may use anything and are not
# read.
#
# Who may use what (each layer may also use itself):
#   platform/core      nothing of ours
#   platform/<other>   platform/core
#   log                platform
#   storage            log, platform
#   objects            storage and below
#   model              objects and below
#   transport          platform, log and the header model/pagingcodes.h
#   inbound            transport, model and below
#   engine             inbound, transport, model and below
#   app                engine and everything below
#   reports            what app may use, less engine
#   gui                anything
#   tools              storage and below
#   tests/<layer>      what <layer> may use, the tests of those layers and tests/support;
#                      from storage up also tools/ (the dictionary writer makes their
#                      databases)
#   tests/support      platform, log and transport (fakes of the transport host)

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
    message(FATAL_ERROR "CheckLayers: pass -DROOT=<source tree>")
endif()

set(_below_platform platform)
set(_below_log log ${_below_platform})
set(_below_storage storage ${_below_log})
set(_below_objects objects ${_below_storage})
set(_below_model model ${_below_objects})
set(_below_transport transport log ${_below_platform} model/pagingcodes.h)
set(_below_inbound inbound transport ${_below_model})
set(_below_engine engine ${_below_inbound})

set(allowed_platform/core platform/core)
set(allowed_platform/recman platform/recman platform/core)
set(allowed_platform/profile platform/profile platform/core)
set(allowed_platform/net platform/net platform/core)
set(allowed_platform/serial platform/serial platform/profile platform/core)
set(allowed_log ${_below_log})
set(allowed_storage ${_below_storage})
set(allowed_objects ${_below_objects})
set(allowed_model ${_below_model})
set(allowed_transport ${_below_transport})
set(allowed_inbound ${_below_inbound})
set(allowed_engine ${_below_engine})
set(allowed_app app ${_below_engine})
set(allowed_reports reports ${_below_inbound})
set(allowed_gui ANYTHING)
set(allowed_tools tools ${_below_storage})
# Tests of the platform folder itself (not of one stand-in) see the whole platform.
set(allowed_platform platform)
set(allowed_tests/support tests/support ${_below_transport})

# The layer of a path relative to the root, or empty for a path outside the layers.
function(_layer_of path out)
    set(layer "")
    if(path MATCHES "^platform/([^/]+)/")
        set(layer "platform/${CMAKE_MATCH_1}")
    elseif(path MATCHES "^(log|storage|objects|model|transport|inbound|engine|app|reports|gui|tools)/")
        set(layer "${CMAKE_MATCH_1}")
    elseif(path MATCHES "^tests/support/")
        set(layer "tests/support")
    elseif(path MATCHES "^tests/platform/([^/]+)/")
        set(layer "tests/platform/${CMAKE_MATCH_1}")
    elseif(path MATCHES "^tests/platform/")
        set(layer "tests/platform")
    elseif(path MATCHES "^tests/([^/]+)/")
        set(layer "tests/${CMAKE_MATCH_1}")
    endif()
    set(${out} "${layer}" PARENT_SCOPE)
endfunction()

# What a layer may include: prefixes ("storage" covers "storage/...") or whole paths.
function(_allowed_for layer out)
    if(layer MATCHES "^tests/(.+)$" AND NOT layer STREQUAL "tests/support")
        set(tested "${CMAKE_MATCH_1}")
        if(NOT DEFINED allowed_${tested})
            set(${out} "UNKNOWN" PARENT_SCOPE)
            return()
        endif()
        set(list tests/support)
        foreach(entry IN LISTS allowed_${tested})
            list(APPEND list "${entry}" "tests/${entry}")
        endforeach()
        if("storage" IN_LIST allowed_${tested})
            list(APPEND list tools tests/tools)
        endif()
        set(${out} "${list}" PARENT_SCOPE)
        return()
    endif()
    if(NOT DEFINED allowed_${layer})
        set(${out} "UNKNOWN" PARENT_SCOPE)
        return()
    endif()
    set(${out} "${allowed_${layer}}" PARENT_SCOPE)
endfunction()

# True when `header` is one of our headers at all (its first folder is a layer folder).
function(_is_ours header out)
    if(header MATCHES "^(platform|log|storage|objects|model|transport|inbound|engine|app|reports|gui|tools|tests)/")
        set(${out} TRUE PARENT_SCOPE)
    else()
        set(${out} FALSE PARENT_SCOPE)
    endif()
endfunction()

# The line number of the first line of `file` that is `line`.
function(_line_number file line out)
    file(READ "${file}" content)
    string(FIND "${content}" "${line}" offset)
    string(SUBSTRING "${content}" 0 ${offset} before)
    string(REGEX MATCHALL "\n" breaks "${before}")
    list(LENGTH breaks count)
    math(EXPR number "${count} + 1")
    set(${out} ${number} PARENT_SCOPE)
endfunction()

set(_folders platform log storage objects model transport inbound engine app reports gui tools tests)
set(_files "")
foreach(folder IN LISTS _folders)
    if(IS_DIRECTORY "${ROOT}/${folder}")
        file(GLOB_RECURSE found RELATIVE "${ROOT}"
            "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.hpp" "${ROOT}/${folder}/*.c"
            "${ROOT}/${folder}/*.cc" "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.h.in")
        list(APPEND _files ${found})
    endif()
endforeach()
list(SORT _files)

set(_failures 0)
set(_checked 0)
foreach(path IN LISTS _files)
    _layer_of("${path}" layer)
    if(layer STREQUAL "")
        message("${path}: lies in no layer folder; give its folder a rule in cmake/CheckLayers.cmake")
        math(EXPR _failures "${_failures} + 1")
        continue()
    endif()
    _allowed_for("${layer}" allowed)
    if(allowed STREQUAL "UNKNOWN")
        message("${path}: the layer ${layer} has no rule in cmake/CheckLayers.cmake")
        math(EXPR _failures "${_failures} + 1")
        continue()
    endif()
    math(EXPR _checked "${_checked} + 1")
    if(allowed STREQUAL "ANYTHING")
        continue()
    endif()
    file(STRINGS "${ROOT}/${path}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
        if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
            continue()
        endif()
        set(header "${CMAKE_MATCH_1}")
        _is_ours("${header}" ours)
        if(NOT ours)
            continue()  # a file beside the includer, or not one of ours
        endif()
        set(permitted FALSE)
        foreach(entry IN LISTS allowed)
            string(LENGTH "${entry}/" prefix_length)
            string(SUBSTRING "${header}" 0 ${prefix_length} head)
            if(header STREQUAL entry OR head STREQUAL "${entry}/")
                set(permitted TRUE)
                break()
            endif()
        endforeach()
        if(NOT permitted)
            _line_number("${ROOT}/${path}" "${line}" line_number)
            message("${path}:${line_number}: ${layer} may not include \"${header}\"")
            math(EXPR _failures "${_failures} + 1")
        endif()
    endforeach()
endforeach()

if(_failures GREATER 0)
    message(FATAL_ERROR "${_failures} include(s) break the layers (${_checked} files read)")
endif()
message(STATUS "Layers hold: ${_checked} files read")
