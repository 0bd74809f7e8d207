# Whole runs of the built binary in the sandboxed host: make-sandbox builds a throwaway root
# with stand-in tools, run-in-sandbox runs Morvane inside it. Where this machine does not let
# us enter the sandbox the tests say why and count as skipped, never as passed.
add_executable(morvane_e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/../e2e_test.cpp
)
target_include_directories(morvane_e2e_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(morvane_e2e_tests PRIVATE morvane_core GTest::gtest_main)
target_compile_definitions(morvane_e2e_tests PRIVATE
  MORVANE_BINARY="$<TARGET_FILE:Morvane>"
  MORVANE_SANDBOX_DIR="${CMAKE_CURRENT_LIST_DIR}")
add_dependencies(morvane_e2e_tests Morvane)
gtest_discover_tests(morvane_e2e_tests
  DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 600 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
