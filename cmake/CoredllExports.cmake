# What the program imports from COREDLL is listed once, in
# platform/wince/coredll_imports.tsv; what the platform's COREDLL exports is
# tools/cerunner/coredll_exports_ce5.tsv. Only platform/wince/coredll_table.py
# reads them: it refuses an import the platform lacks and writes the lists
# that the device's import thunks and the runner's COREDLL include, each only
# when its text changes, so that only what includes it is rebuilt. A bad
# table stops the configure with the reader's message; editing either table
# re-runs this.
set(KESTRUM_COREDLL_IMPORTS ${CMAKE_SOURCE_DIR}/platform/wince/coredll_imports.tsv)
set(KESTRUM_COREDLL_PLATFORM_EXPORTS ${CMAKE_SOURCE_DIR}/tools/cerunner/coredll_exports_ce5.tsv)
set(KESTRUM_COREDLL_TABLE_READER ${CMAKE_SOURCE_DIR}/platform/wince/coredll_table.py)
set(KESTRUM_COREDLL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set_property(
  DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KESTRUM_COREDLL_IMPORTS}
                                                    ${KESTRUM_COREDLL_PLATFORM_EXPORTS}
                                                    ${KESTRUM_COREDLL_TABLE_READER})

execute_process(
  COMMAND ${KESTRUM_SYSTEM_PYTHON} -B ${KESTRUM_COREDLL_TABLE_READER} ${KESTRUM_COREDLL_IMPORTS}
          ${KESTRUM_COREDLL_PLATFORM_EXPORTS} ${KESTRUM_COREDLL_GENERATED_DIR}
  RESULT_VARIABLE _result
  ERROR_VARIABLE _message
  ERROR_STRIP_TRAILING_WHITESPACE)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "${_message}")
endif()
