# Warnings every target of ours gets; errors where CMAKE_COMPILE_WARNING_AS_ERROR is on (CI).
function(zb32_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Wnon-virtual-dtor)
    target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS)
endfunction()

# Links the program's memory allocator (jemalloc, its own settings) into an executable where it was
# found; otherwise the C library's stays.
function(zb32_link_allocator target)
    if(JEMALLOC_FOUND)
        target_link_libraries(${target} PRIVATE PkgConfig::JEMALLOC)
    endif()
endfunction()

# Tests spell their data as plain literals, so they keep the implicit ASCII casts.
function(zb32_test_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
    target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
endfunction()

# Registers a QtTest executable with ctest: offscreen windows, the test data folder, an isolated home.
function(zb32_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test zb32testsupport ${ARG_LIBS})
    zb32_test_warnings(${name})
    # Tests start the built zb32 and zb32-xls: build them first, so no test runs a stale one.
    add_dependencies(${name} zb32 zb32-xls)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZB32_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data;ZB32_BINARY=$<TARGET_FILE:zb32>;ZB32_XLS_READER=$<TARGET_FILE:zb32-xls>"
        TIMEOUT 300)
endfunction()
