# Shared settings for every target of our own code.

function(orvex_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# orvex_library(name SOURCES ... [DEPENDS ...]): a static library of one subsystem.
function(orvex_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  orvex_warnings(${name})
endfunction()

# orvex_test(name SOURCES ... [DEPENDS ...] [OWN_MAIN]): a GoogleTest binary registered
# with CTest. OWN_MAIN leaves main() to the test (GUI tests create their QApplication).
# ORVEX_TEST_DATA points at tests/data.
function(orvex_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock)
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE ORVEX_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  orvex_warnings(${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
