# tesselmenu_check_layers(<target> ROOT <folder> RULES <layer:used,...>...)
# Adds <target>, which fails the build when a file under ROOT includes a header of a layer its
# own layer may not use (see CheckLayers.cmake). Libraries of the layers depend on it, so the
# check runs in every build and again whenever a source file changes.
function(tesselmenu_check_layers target)
    cmake_parse_arguments(CHECK "" "ROOT" "RULES" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CHECK_ROOT}/*.h" "${CHECK_ROOT}/*.cpp")
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.stamp)
    # A list cannot cross the command line intact: its entries travel joined by "|".
    string(JOIN "|" rules ${CHECK_RULES})
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DROOT=${CHECK_ROOT} "-DRULES=${rules}"
                -DSTAMP=${stamp} -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
        DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
        COMMENT "Checking that no lower layer includes a higher one in ${CHECK_ROOT}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${stamp})
endfunction()
