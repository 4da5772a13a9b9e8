# Where a phone's installer puts the program, as packaging/install_layout.py
# makes it from Kestrum's folder and the phone's (wince_facts/installer.py):
# the header packaging/installed_program.h of the interface target
# kestrum_installed_program, so that the emulated phone and the recording
# platform start the program where an installed one finds the phone library.
include(${CMAKE_CURRENT_LIST_DIR}/PythonAtConfigure.cmake)
set(_packaging ${CMAKE_SOURCE_DIR}/packaging)
kestrum_python_at_configure(
  OUTPUT KESTRUM_INSTALLED_PROGRAM
  DEPENDS ${_packaging}/install_layout.py ${CMAKE_SOURCE_DIR}/wince_facts/installer.py
  COMMAND ${_packaging}/install_layout.py)
# As the text of a C string literal.
string(REPLACE "\\" "\\\\" KESTRUM_INSTALLED_PROGRAM "${KESTRUM_INSTALLED_PROGRAM}")

set(_generated ${CMAKE_BINARY_DIR}/generated/layout)
configure_file(${_packaging}/installed_program.h.in ${_generated}/packaging/installed_program.h
               @ONLY)
add_library(kestrum_installed_program INTERFACE)
target_include_directories(kestrum_installed_program INTERFACE ${_generated})
