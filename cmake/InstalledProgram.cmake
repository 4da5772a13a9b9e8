# Where a phone's installer puts the program, written once in
# packaging/install_layout.py, as the header packaging/installed_program.h of
# the interface target kestrum_installed_program: the emulated phone and the
# recording platform start the program there, so that it finds the phone
# library where an installed program does.
include(${CMAKE_CURRENT_LIST_DIR}/PythonAtConfigure.cmake)
set(_packaging ${CMAKE_SOURCE_DIR}/packaging)
kestrum_python_at_configure(
  OUTPUT KESTRUM_INSTALLED_PROGRAM
  DEPENDS ${_packaging}/install_layout.py ${_packaging}/phone_folders.py
  COMMAND ${_packaging}/install_layout.py)
# As the text of a C string literal.
string(REPLACE "\\" "\\\\" KESTRUM_INSTALLED_PROGRAM "${KESTRUM_INSTALLED_PROGRAM}")

set(_generated ${CMAKE_BINARY_DIR}/generated/layout)
configure_file(${_packaging}/installed_program.h.in ${_generated}/packaging/installed_program.h
               @ONLY)
add_library(kestrum_installed_program INTERFACE)
target_include_directories(kestrum_installed_program INTERFACE ${_generated})
