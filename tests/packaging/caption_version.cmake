# The message box caption is written by hand in SOURCE; it must name the
# project's version. Usage: cmake -DNAME=... -DVERSION=... -DSOURCE=... -P this
file(STRINGS ${SOURCE} caption REGEX "kLoadFailedCaption = ")
if(NOT caption MATCHES "\"${NAME} ([^ \"]*) by ")
  message(FATAL_ERROR "${SOURCE}: no caption \"${NAME} <version> by ...\" in kLoadFailedCaption")
elseif(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "${SOURCE}: the caption says ${CMAKE_MATCH_1}, the project is ${VERSION}")
endif()
