# Installer cabinets for the phones: include() this file, then call
#
#   kestrum_cabinet(<target> IMAGE <Kestrum.exe> [IMAGE_TARGET <target>]
#                   OS_MIN <major.minor> OUTPUT <file.cab>)
#
# for each image. The cabinet is built with ALL, demands OS_MIN as lowest OS
# version (the build refuses an image whose subsystem version differs) and,
# with KESTRUM_TESTS, is checked by CTest tests named <target>_*. The image,
# the cabinet and the target go into the global properties
# KESTRUM_RELEASE_FILES and KESTRUM_RELEASE_TARGETS for the release archive.
include_guard(GLOBAL)

find_program(KESTRUM_GCAB NAMES gcab REQUIRED)
if(KESTRUM_TESTS)
  find_program(KESTRUM_CABEXTRACT NAMES cabextract REQUIRED)
  # The setup-file reader must catch the faults an installer would trip on.
  add_test(NAME packaging_setup_file_reader_faults
           COMMAND ${KESTRUM_SYSTEM_PYTHON} -B
                   ${CMAKE_CURRENT_LIST_DIR}/tests/read_setup_file_test.py)
endif()

function(kestrum_cabinet target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "IMAGE;IMAGE_TARGET;OS_MIN;OUTPUT" "")
  foreach(required IMAGE OS_MIN OUTPUT)
    if(NOT arg_${required})
      message(FATAL_ERROR "kestrum_cabinet(${target}): ${required} is missing")
    endif()
  endforeach()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kestrum_cabinet(${target}): unknown ${arg_UNPARSED_ARGUMENTS}")
  endif()

  set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  set(make_cabinet ${dir}/make_cabinet.py)
  get_filename_component(cab_name ${arg_OUTPUT} NAME)
  add_custom_command(
    OUTPUT ${arg_OUTPUT}
    COMMAND ${KESTRUM_SYSTEM_PYTHON} -B ${make_cabinet} --gcab ${KESTRUM_GCAB}
            --image ${arg_IMAGE} --os-min ${arg_OS_MIN} --output ${arg_OUTPUT}
    DEPENDS ${arg_IMAGE} ${make_cabinet} ${dir}/install_layout.py ${dir}/setup_file.py
            ${dir}/setup_xml.py
    COMMENT "Packing ${cab_name}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${arg_OUTPUT})
  if(arg_IMAGE_TARGET)
    add_dependencies(${target} ${arg_IMAGE_TARGET})
  endif()
  set_property(GLOBAL APPEND PROPERTY KESTRUM_RELEASE_FILES ${arg_IMAGE} ${arg_OUTPUT})
  set_property(GLOBAL APPEND PROPERTY KESTRUM_RELEASE_TARGETS ${target})

  if(KESTRUM_TESTS)
    foreach(check listing image setup_xml setup_file os_version reproducible)
      add_test(NAME ${target}_${check}
               COMMAND ${KESTRUM_SYSTEM_PYTHON} -B ${dir}/tests/check_cabinet.py ${check}
                       ${arg_OUTPUT} ${arg_IMAGE} ${arg_OS_MIN} ${KESTRUM_CABEXTRACT}
                       ${KESTRUM_GCAB})
    endforeach()
  endif()
endfunction()
