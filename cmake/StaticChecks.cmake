# Format, clang-tidy and cppcheck run as tests of the plain build (the
# sanitizer build compiles the same code, so it would only repeat them).
if(NOT KESTRUM_SANITIZE)
  foreach(check format tidy cppcheck)
    add_test(NAME static_${check}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/static-checks.sh ${check} ${CMAKE_BINARY_DIR})
  endforeach()
  # Alone: it takes both cores, which would make the timed end-to-end runs late.
  set_tests_properties(static_tidy PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE)
endif()
