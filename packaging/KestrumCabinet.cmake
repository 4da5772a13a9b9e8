# Installer cabinets for the phones: include() this file, then call
#
#   kestrum_cabinet(<target> IMAGE <Kestrum.exe> [IMAGE_TARGET <target>]
#                   OUTPUT <file.cab>)
#
# for each image. The cabinet is built with ALL, demands the image's
# subsystem version as lowest OS version and names KESTRUM_PROVIDER, set
# beside project(), as its provider. Each call appends the target to the
# global property KESTRUM_CABINETS and sets its properties
# KESTRUM_CABINET_FILE and KESTRUM_CABINET_IMAGE, from which the tests check
# every cabinet and the release archive takes its images and cabinets.
include_guard(GLOBAL)

find_program(KESTRUM_GCAB NAMES gcab REQUIRED)

function(kestrum_cabinet target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "IMAGE;IMAGE_TARGET;OUTPUT" "")
  foreach(required IMAGE OUTPUT)
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
            --image ${arg_IMAGE} --provider ${KESTRUM_PROVIDER} --output ${arg_OUTPUT}
    DEPENDS ${arg_IMAGE} ${make_cabinet} ${dir}/install_layout.py ${dir}/setup_file.py
            ${dir}/setup_xml.py ${CMAKE_SOURCE_DIR}/wince_facts/installer.py
    COMMENT "Packing ${cab_name}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${arg_OUTPUT})
  if(arg_IMAGE_TARGET)
    add_dependencies(${target} ${arg_IMAGE_TARGET})
  endif()
  set_target_properties(${target} PROPERTIES KESTRUM_CABINET_FILE ${arg_OUTPUT}
                        KESTRUM_CABINET_IMAGE ${arg_IMAGE})
  set_property(GLOBAL APPEND PROPERTY KESTRUM_CABINETS ${target})
endfunction()
