# A Python step that runs when CMake configures:
#
#   kestrum_python_at_configure([OUTPUT <variable>] DEPENDS <inputs>... COMMAND <script> <args>...)
#
# Editing one of its inputs re-runs the configure; the step's failure stops
# it with the step's own message; OUTPUT takes what it prints.
include_guard(GLOBAL)

function(kestrum_python_at_configure)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "OUTPUT" "DEPENDS;COMMAND")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${arg_DEPENDS})
  execute_process(
    COMMAND ${KESTRUM_SYSTEM_PYTHON} -B ${arg_COMMAND}
    OUTPUT_VARIABLE output
    RESULT_VARIABLE result
    ERROR_VARIABLE message
    ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${message}")
  endif()
  if(arg_OUTPUT)
    set(${arg_OUTPUT} "${output}" PARENT_SCOPE)
  endif()
endfunction()
