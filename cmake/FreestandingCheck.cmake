# The program's own code must build for the device as it is: compile it
# freestanding for ARM and reject static constructors and any symbol that
# only a hosted runtime would supply.
# Used only when no device image is linked (see the top CMakeLists.txt).
include(${CMAKE_CURRENT_LIST_DIR}/DeviceFlags.cmake)
find_program(KESTRUM_LLVM_NM NAMES llvm-nm-14 llvm-nm REQUIRED)
find_program(KESTRUM_LLVM_READELF NAMES llvm-readelf-14 llvm-readelf REQUIRED)

set(_objects)
foreach(source IN LISTS KESTRUM_PROGRAM_SOURCES)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${source})
  set(object ${CMAKE_BINARY_DIR}/freestanding/${rel}.o)
  # Ninja makes an output's folder, Make does not.
  get_filename_component(object_dir ${object} DIRECTORY)
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${object_dir}
    COMMAND ${KESTRUM_DEVICE_CXX} ${KESTRUM_DEVICE_CXX_FLAGS} -I${CMAKE_SOURCE_DIR} -c ${source} -o ${object}
    DEPENDS ${source}
    IMPLICIT_DEPENDS CXX ${source}
    COMMENT "Freestanding ARM compile of ${rel}"
    VERBATIM)
  list(APPEND _objects ${object})
endforeach()

# COREDLL's exports, and exit, which the program's own runtime supplies.
set(_platform_calls ${KESTRUM_COREDLL_NAMES} exit)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/freestanding/checked.stamp
  COMMAND ${CMAKE_COMMAND} -DNM=${KESTRUM_LLVM_NM} -DREADELF=${KESTRUM_LLVM_READELF}
          "-DOBJECTS=${_objects}" "-DPLATFORM_CALLS=${_platform_calls}"
          -P ${CMAKE_CURRENT_LIST_DIR}/check_freestanding_objects.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/freestanding/checked.stamp
  DEPENDS ${_objects} ${CMAKE_CURRENT_LIST_DIR}/check_freestanding_objects.cmake
          ${KESTRUM_COREDLL_EXPORTS}
  COMMENT "Checking the freestanding objects"
  VERBATIM)
add_custom_target(freestanding_check ALL DEPENDS ${CMAKE_BINARY_DIR}/freestanding/checked.stamp)
