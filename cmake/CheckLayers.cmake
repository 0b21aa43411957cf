# Fails when a source file includes a header of a layer it may not use. Run in script mode:
#   cmake -DROOT=<folder> -DRULES=<rules> -DSTAMP=<file> -P CheckLayers.cmake
# RULES holds entries, separated by "|", of the form "layer:used1,used2,...": each folder directly under ROOT is a
# layer, and a file in it may include headers of its own layer and of the layers listed.
# Headers are included by their path below ROOT ("base/Day.h"), so the first path component
# names the layer.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" RULES "${RULES}")
set(layers)
foreach(rule IN LISTS RULES)
    string(REPLACE ":" ";" parts "${rule}")
    list(GET parts 0 layer)
    list(LENGTH parts count)
    set(allowed_${layer} ${layer})
    if(count GREATER 1)
        list(GET parts 1 used)
        string(REPLACE "," ";" used "${used}")
        list(APPEND allowed_${layer} ${used})
    endif()
    list(APPEND layers ${layer})
endforeach()

set(violations)
foreach(layer IN LISTS layers)
    file(GLOB_RECURSE sources "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
            string(REGEX MATCH "^[^/]+" first "${header}")
            if(NOT header MATCHES "/" OR NOT first IN_LIST layers)
                continue()
            endif()
            if(NOT first IN_LIST allowed_${layer})
                file(RELATIVE_PATH shown "${ROOT}" "${source}")
                list(APPEND violations "  ${shown} (${layer}) includes ${header} (${first})")
            endif()
        endforeach()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n" text)
    message(FATAL_ERROR "A lower layer includes a higher one:\n${text}")
endif()
if(STAMP)
    file(TOUCH "${STAMP}")
endif()
