# GoogleTest from Debian's source package, compiled with the cross compiler.
set(TW_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${TW_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${TW_GTEST_SOURCE_DIR} (apt-get install googletest)")
endif()
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${TW_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The project's warning flags are for its own code; GoogleTest keeps its own.
foreach(target gtest gtest_main gmock gmock_main)
    target_compile_options(${target} PRIVATE -w)
endforeach()

# tw_add_test_executable(NAME SOURCES ... [RESOURCES]) builds one test program linked with
# the library of its folder's subsystem (tests/<subsystem>, which brings the ones below) and
# registers it with ctest (run through Wine by the emulator).
function(tw_add_test_executable name)
    cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
    get_filename_component(subsystem ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    add_executable(${name} ${ARG_SOURCES} ${TW_RESOURCES})
    target_link_libraries(${name} PRIVATE tw${subsystem} twtestsupport gmock gtest_main)
    # Programs that have the tracking sender keep it away from the maker's host.
    if(NOT subsystem MATCHES "^(common|sysinfo)$")
        target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/common/TelemetryIsolation.cpp)
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
