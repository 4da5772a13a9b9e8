# What the program imports from COREDLL is listed once, in
# platform/wince/coredll_imports.tsv; what the platform's COREDLL exports is
# wince_facts/coredll_exports_ce5.tsv. Only platform/wince/coredll_table.py
# reads them: it refuses an import the platform lacks and writes the lists
# that the device's import thunks and the runner's COREDLL include, each only
# when its text changes, so that only what includes it is rebuilt. A bad
# table stops the configure with the reader's message; editing either table
# re-runs this. The thunks' list, read back, names the runner's handlers.
set(KESTRUM_COREDLL_IMPORTS ${CMAKE_SOURCE_DIR}/platform/wince/coredll_imports.tsv)
set(KESTRUM_COREDLL_PLATFORM_EXPORTS ${CMAKE_SOURCE_DIR}/wince_facts/coredll_exports_ce5.tsv)
set(KESTRUM_COREDLL_TABLE_READER ${CMAKE_SOURCE_DIR}/platform/wince/coredll_table.py)
set(KESTRUM_COREDLL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
include(${CMAKE_CURRENT_LIST_DIR}/PythonAtConfigure.cmake)
kestrum_python_at_configure(
  DEPENDS ${KESTRUM_COREDLL_IMPORTS} ${KESTRUM_COREDLL_PLATFORM_EXPORTS}
          ${KESTRUM_COREDLL_TABLE_READER}
  COMMAND ${KESTRUM_COREDLL_TABLE_READER} ${KESTRUM_COREDLL_IMPORTS}
          ${KESTRUM_COREDLL_PLATFORM_EXPORTS} ${KESTRUM_COREDLL_GENERATED_DIR})
file(STRINGS ${KESTRUM_COREDLL_GENERATED_DIR}/coredll_imports.inc imports REGEX "^  coredll_import ")
list(TRANSFORM imports REPLACE "^  coredll_import (.+)$" "X(\\1)")
list(JOIN imports " " imports)
file(CONFIGURE OUTPUT ${KESTRUM_COREDLL_GENERATED_DIR}/coredll_handlers.h @ONLY
     CONTENT "// Made by cmake/CoredllExports.cmake.\n#define KESTRUM_COREDLL_IMPORTS(X) ${imports}\n")
