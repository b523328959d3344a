# Tests of the glyphwick tool: its own logic, the built tool run on the
# samples as a user runs it, and the installed package used by a host.
gw_test(tool glyphwick_cli)
add_dependencies(test_tool glyphwick_tool)
target_compile_definitions(test_tool PRIVATE
  GW_TOOL="$<TARGET_FILE:glyphwick_tool>" GW_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

set(GW_HOST_FLAGS "")
if(GW_SANITIZE)
  set(GW_HOST_FLAGS "-fsanitize=address,undefined")
endif()
add_test(NAME tool_install_and_host
  COMMAND ${CMAKE_COMMAND} -DBUILD=${PROJECT_BINARY_DIR} -DSOURCE=${PROJECT_SOURCE_DIR}
          -DWORK=${CMAKE_CURRENT_BINARY_DIR}/install-test -DFLAGS=${GW_HOST_FLAGS}
          -DCXX=${CMAKE_CXX_COMPILER}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/tool/InstallTest.cmake)
set_tests_properties(tool_install_and_host PROPERTIES TIMEOUT 300)

