# cmake -P script: every undefined symbol of the program's objects must be a
# platform call or another of its own objects, and none may need start-up code.
# PLATFORM_CALLS: what the device supplies.
cmake_policy(SET CMP0057 NEW)

set(defined)
set(undefined)
foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND ${NM} --defined-only --format=just-symbols ${object}
                  OUTPUT_VARIABLE out COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" out "${out}")
  list(APPEND defined ${out})
  execute_process(COMMAND ${NM} --undefined-only --format=just-symbols ${object}
                  OUTPUT_VARIABLE out COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" out "${out}")
  list(APPEND undefined ${out})

  execute_process(COMMAND ${READELF} --section-headers ${object}
                  OUTPUT_VARIABLE sections COMMAND_ERROR_IS_FATAL ANY)
  # clang still marks each function "cannot unwind" in .ARM.exidx; the image
  # link discards those. Real unwind data (.ARM.extab) would mean exceptions.
  if(sections MATCHES "init_array|\\.ctors|ARM\\.extab|eh_frame")
    message(FATAL_ERROR "${object}: static constructors or unwind data")
  endif()
endforeach()

foreach(symbol IN LISTS undefined)
  if(symbol STREQUAL "" OR symbol IN_LIST defined OR symbol IN_LIST PLATFORM_CALLS)
    continue()
  endif()
  message(FATAL_ERROR "freestanding code needs '${symbol}', which the device does not supply")
endforeach()
