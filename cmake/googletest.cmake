# GoogleTest built from source with the project's own compiler. Debian ships the
# source in /usr/src/googletest; on Windows point SYSLOG_GOOGLETEST_SOURCE at a
# checkout of GoogleTest.
set(SYSLOG_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
if(NOT EXISTS "${SYSLOG_GOOGLETEST_SOURCE}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest not found in ${SYSLOG_GOOGLETEST_SOURCE}; set SYSLOG_GOOGLETEST_SOURCE")
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory("${SYSLOG_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)

# Adds one test executable run through the cross-compiling emulator.
function(syslog_add_gtest name)
    add_executable(${name} ${ARGN})
    # The stand-ins first: see tests/support/CMakeLists.txt.
    target_link_libraries(${name} PRIVATE test_fakes gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
