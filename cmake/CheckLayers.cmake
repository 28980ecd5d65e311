# The includes point one way: cli and gui above the drawing of letters (render), render above the
# core, the core's jobs above its helpers.
# Run as `cmake -DSOURCE_DIR=<repo> -P CheckLayers.cmake`; fails naming every include that
# points up.
#   folder under src/      may not include
set(ZB32_LAYER_RULES
    "core/desk|core/jobs/ core/imports/ core/letters/ core/JobCatalog.h render/ gui/ cli/"
    "core/game|core/jobs/ core/imports/ core/letters/ core/JobCatalog.h render/ gui/ cli/"
    "core/jobs|core/imports/ core/letters/ core/JobCatalog.h render/ gui/ cli/"
    "core/imports|core/JobCatalog.h render/ gui/ cli/"
    "core/letters|core/imports/ core/JobCatalog.h render/ gui/ cli/"
    "core|render/ gui/ cli/"
    "tools|render/ gui/ cli/"
    "render|core/imports/ core/JobCatalog.h gui/ cli/"
    "gui|cli/"
    "cli|gui/"
)
set(violations "")
foreach(rule IN LISTS ZB32_LAYER_RULES)
    string(REPLACE "|" ";" parts "${rule}")
    list(GET parts 0 folder)
    list(GET parts 1 forbidden)
    string(REPLACE " " ";" forbidden "${forbidden}")
    file(GLOB_RECURSE sources "${SOURCE_DIR}/src/${folder}/*.h" "${SOURCE_DIR}/src/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" included "${line}")
            foreach(prefix IN LISTS forbidden)
                string(FIND "${included}" "${prefix}" at)
                if(at EQUAL 0)
                    file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
                    list(APPEND violations "${shown} includes ${included}")
                endif()
            endforeach()
        endforeach()
    endforeach()
endforeach()
if(violations)
    list(REMOVE_DUPLICATES violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "includes that point up a layer:\n  ${text}")
endif()
message(STATUS "layers: every include points down")
