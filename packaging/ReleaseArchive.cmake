# The download for phone owners, <project>-<version>.zip in the build folder,
# which unpacks into one folder of the same name: every image and cabinet
# kestrum_cabinet() was given or made, named by its path under phone/, the
# leave-sound shortcut, the Japanese guide with the version filled in, the
# licence and checksums. include() after the cabinets; sets
# KESTRUM_RELEASE_ARCHIVE (the file), KESTRUM_RELEASE_MEMBERS (NAME=FILE for
# each built file packed) and the inputs the tests rebuild it from:
# KESTRUM_RELEASE_GUIDE, _LICENSE, _SCRIPT.
include_guard(GLOBAL)

set(KESTRUM_RELEASE_ARCHIVE ${CMAKE_BINARY_DIR}/${PROJECT_NAME}-${PROJECT_VERSION}.zip)
set(KESTRUM_RELEASE_GUIDE ${CMAKE_BINARY_DIR}/generated/release/readme.txt)
configure_file(${CMAKE_SOURCE_DIR}/docs/ja/readme.txt ${KESTRUM_RELEASE_GUIDE} @ONLY)
set(KESTRUM_RELEASE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(KESTRUM_RELEASE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/make_release_archive.py)

set(release_files)
get_property(release_targets GLOBAL PROPERTY KESTRUM_CABINETS)
foreach(target IN LISTS release_targets)
  get_target_property(image ${target} KESTRUM_CABINET_IMAGE)
  get_target_property(cabinet_file ${target} KESTRUM_CABINET_FILE)
  list(APPEND release_files ${image} ${cabinet_file})
endforeach()
set(KESTRUM_RELEASE_MEMBERS)
foreach(file IN LISTS release_files)
  file(RELATIVE_PATH name ${CMAKE_BINARY_DIR}/phone ${file})
  if(name MATCHES "^\\.\\./")
    message(FATAL_ERROR "${file} is outside ${CMAKE_BINARY_DIR}/phone")
  endif()
  list(APPEND KESTRUM_RELEASE_MEMBERS ${name}=${file})
endforeach()

get_filename_component(archive_name ${KESTRUM_RELEASE_ARCHIVE} NAME)
add_custom_command(
  OUTPUT ${KESTRUM_RELEASE_ARCHIVE}
  COMMAND ${KESTRUM_SYSTEM_PYTHON} -B ${KESTRUM_RELEASE_SCRIPT} --output ${KESTRUM_RELEASE_ARCHIVE}
          --guide ${KESTRUM_RELEASE_GUIDE} --license ${KESTRUM_RELEASE_LICENSE}
          ${KESTRUM_RELEASE_MEMBERS}
  DEPENDS ${KESTRUM_RELEASE_SCRIPT} ${KESTRUM_RELEASE_GUIDE} ${KESTRUM_RELEASE_LICENSE}
          ${CMAKE_CURRENT_LIST_DIR}/install_layout.py ${CMAKE_SOURCE_DIR}/wince_facts/installer.py
          ${release_files}
  COMMENT "Packing ${archive_name}"
  VERBATIM)
add_custom_target(release_archive ALL DEPENDS ${KESTRUM_RELEASE_ARCHIVE})
add_dependencies(release_archive ${release_targets})
