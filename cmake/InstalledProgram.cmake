# Where a phone's installer puts the program, written once in
# packaging/install_layout.py, as the header packaging/installed_program.h of
# the interface target kestrum_installed_program: the emulated phone and the
# recording platform start the program there, so that it finds the phone
# library where an installed program does.
set(_packaging ${CMAKE_SOURCE_DIR}/packaging)
set_property(
  DIRECTORY APPEND
  PROPERTY CMAKE_CONFIGURE_DEPENDS ${_packaging}/installed_program.py
           ${_packaging}/install_layout.py ${_packaging}/phone_folders.py)
execute_process(
  COMMAND ${KESTRUM_SYSTEM_PYTHON} -B ${_packaging}/installed_program.py
  OUTPUT_VARIABLE KESTRUM_INSTALLED_PROGRAM
  RESULT_VARIABLE _result
  ERROR_VARIABLE _message
  ERROR_STRIP_TRAILING_WHITESPACE)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "${_message}")
endif()

set(_generated ${CMAKE_BINARY_DIR}/generated/layout)
configure_file(${_packaging}/installed_program.h.in ${_generated}/packaging/installed_program.h
               @ONLY)
add_library(kestrum_installed_program INTERFACE)
target_include_directories(kestrum_installed_program INTERFACE ${_generated})
