# Tools and helpers for the device image. The image is built with explicit
# device flags by custom commands, so host settings (sanitizers, build type)
# never reach it.
include(${CMAKE_CURRENT_LIST_DIR}/DeviceFlags.cmake)
find_program(KESTRUM_LLD NAMES ld.lld-14 ld.lld REQUIRED)
find_program(KESTRUM_LLVM_OBJCOPY NAMES llvm-objcopy-14 llvm-objcopy REQUIRED)
find_program(KESTRUM_LLVM_OBJDUMP NAMES llvm-objdump-14 llvm-objdump REQUIRED)

set(KESTRUM_DEVICE_ASM_FLAGS --target=armv5te-none-eabi -marm -mcpu=xscale)

# Compiles one C++ or assembly source for the device into out_dir and
# appends the object to the list named by objects_var. Further arguments are
# extra compiler flags (preprocessor definitions, say).
function(kestrum_device_object source out_dir objects_var)
  # Generated sources are named by their place in the build tree.
  cmake_path(IS_PREFIX CMAKE_BINARY_DIR ${source} NORMALIZE generated)
  if(generated)
    file(RELATIVE_PATH rel ${CMAKE_BINARY_DIR} ${source})
  else()
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${source})
  endif()
  set(object ${out_dir}/${rel}.o)
  get_filename_component(object_dir ${object} DIRECTORY)
  if(source MATCHES "\\.S$")
    set(flags ${KESTRUM_DEVICE_ASM_FLAGS})
  else()
    set(flags ${KESTRUM_DEVICE_CXX_FLAGS} -ffunction-sections -fdata-sections)
  endif()
  list(APPEND flags ${ARGN})
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${object_dir}
    COMMAND ${KESTRUM_DEVICE_CXX} ${flags} -I${CMAKE_SOURCE_DIR} -MD -MF ${object}.d
            -c ${source} -o ${object}
    DEPENDS ${source}
    DEPFILE ${object}.d
    COMMENT "Device compile of ${rel}"
    VERBATIM)
  set(${objects_var} ${${objects_var}} ${object} PARENT_SCOPE)
endfunction()
