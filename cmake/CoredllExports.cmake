# The COREDLL calls are listed once, in platform/wince/coredll_exports.tsv.
# Everything that needs them is made from it here: the device's import
# thunks and the runner's COREDLL include a generated list, and the import
# check reads the table itself.
# Editing the table re-runs this, and the lists are rewritten only when
# their text changes, so only what includes them is rebuilt.
set(KESTRUM_COREDLL_EXPORTS ${CMAKE_SOURCE_DIR}/platform/wince/coredll_exports.tsv)
set(KESTRUM_COREDLL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KESTRUM_COREDLL_EXPORTS})

set(_names)
set(_import_lines "")
set(_export_lines "")
# Characters that CMake lists treat specially cannot be in a valid row;
# turning them into '?' keeps each line one list item.
file(READ ${KESTRUM_COREDLL_EXPORTS} _text)
string(REGEX REPLACE "[][;\\]" "?" _text "${_text}")
string(REPLACE "\n" ";" _rows "${_text}")
foreach(_row IN LISTS _rows)
  if(_row STREQUAL "" OR _row MATCHES "^#")
    continue()
  endif()
  # Names become assembler and C++ symbols, so only identifiers pass.
  if(NOT _row MATCHES "^([A-Za-z_][A-Za-z0-9_]*)\t([0-9]+)$" OR CMAKE_MATCH_2 GREATER 65535)
    message(FATAL_ERROR "${KESTRUM_COREDLL_EXPORTS}: expected 'Name<TAB>ordinal', got '${_row}'")
  endif()
  if(CMAKE_MATCH_1 IN_LIST _names)
    message(FATAL_ERROR "${KESTRUM_COREDLL_EXPORTS}: ${CMAKE_MATCH_1} is listed twice")
  endif()
  list(APPEND _names ${CMAKE_MATCH_1})
  string(APPEND _import_lines "  coredll_import ${CMAKE_MATCH_1}\n")
  string(APPEND _export_lines "KESTRUM_COREDLL_EXPORT(${CMAKE_MATCH_1}, ${CMAKE_MATCH_2})\n")
endforeach()
if(NOT _names)
  message(FATAL_ERROR "${KESTRUM_COREDLL_EXPORTS}: no exports listed")
endif()

set(_banner "// Generated from platform/wince/coredll_exports.tsv; edit that table.\n")
file(CONFIGURE OUTPUT ${KESTRUM_COREDLL_GENERATED_DIR}/coredll_imports.inc
     CONTENT "${_banner}${_import_lines}" @ONLY)
file(CONFIGURE OUTPUT ${KESTRUM_COREDLL_GENERATED_DIR}/coredll_exports.inc
     CONTENT "${_banner}${_export_lines}" @ONLY)
