# Whole runs of the built binary in the sandboxed host: make-sandbox builds a throwaway root
# with stand-in tools, run-in-sandbox runs Morvane inside it. Where this machine does not let
# us enter the sandbox the tests say why and count as skipped, never as passed. The runs that
# reach the prompt show it on a private X server and have a private system bus, on which the
# login manager's stand-in records the restart request.
add_executable(login-manager-standin ${CMAKE_CURRENT_LIST_DIR}/login_manager_standin.cpp)
target_include_directories(login-manager-standin PRIVATE ${SYSTEMD_INCLUDE_DIRS})
target_link_libraries(login-manager-standin PRIVATE ${SYSTEMD_LINK_LIBRARIES})

add_executable(morvane_e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/../e2e_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../prompt_e2e_test.cpp
)
target_include_directories(morvane_e2e_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(morvane_e2e_tests PRIVATE morvane_core GTest::gtest_main)
target_compile_definitions(morvane_e2e_tests PRIVATE
  MORVANE_BINARY="$<TARGET_FILE:Morvane>"
  MORVANE_SANDBOX_DIR="${CMAKE_CURRENT_LIST_DIR}"
  MORVANE_LOGIN_STANDIN="$<TARGET_FILE:login-manager-standin>")
add_dependencies(morvane_e2e_tests Morvane login-manager-standin)
gtest_discover_tests(morvane_e2e_tests
  DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 600 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
