# The resource section of Kestrum.exe: icon bitmaps drawn from their text
# maps, packed by icotool, compiled with the version by llvm-rc, and laid out
# as a PE resource section in assembly by res_to_asm.py. Include after
# cmake/DeviceImage.cmake (its compiler, linker and objcopy run the tests).
include_guard(GLOBAL)

find_program(KESTRUM_ICOTOOL icotool REQUIRED)
find_program(KESTRUM_LLVM_RC NAMES llvm-rc-14 llvm-rc REQUIRED)

set(KESTRUM_ICON_SIZES 16 22 32 44 64)
set(KESTRUM_ICON_SOURCE_DIR ${CMAKE_SOURCE_DIR}/packaging/icon)
list(TRANSFORM KESTRUM_ICON_SIZES REPLACE "(.+)" "${KESTRUM_ICON_SOURCE_DIR}/kestrum-\\1.txt"
     OUTPUT_VARIABLE KESTRUM_ICON_MAPS)
set(KESTRUM_RESOURCE_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

# Writes the rules into the calling directory, so that the caller's targets
# can compile the .S; sets out_var to its path. Both images share the one .S.
function(kestrum_resource_asm out_var)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/resources)
  set(icon_dir ${KESTRUM_ICON_SOURCE_DIR})
  set(maps ${KESTRUM_ICON_MAPS})
  set(bitmaps)
  set(previews kestrum-sizes.png)
  foreach(size IN LISTS KESTRUM_ICON_SIZES)
    list(APPEND bitmaps ${dir}/kestrum-${size}.png)
    list(APPEND previews kestrum-${size}-x4.png)
  endforeach()
  list(TRANSFORM previews PREPEND ${dir}/previews/ OUTPUT_VARIABLE preview_files)
  set(ico ${dir}/Kestrum.ico)
  set(res ${dir}/kestrum.res)
  set(asm ${dir}/kestrum_rsrc.S)
  set(script ${dir}/kestrum.rc)
  # The version resource holds four 16-bit parts; those the project's
  # version leaves out are 0.
  set(version_parts)
  foreach(part MAJOR MINOR PATCH TWEAK)
    set(value "${PROJECT_VERSION_${part}}")
    if(value STREQUAL "")
      set(value 0)
    elseif(value GREATER 65535)
      message(FATAL_ERROR "version ${PROJECT_VERSION}: ${value} does not fit a version resource")
    endif()
    list(APPEND version_parts ${value})
  endforeach()
  list(JOIN version_parts "," KESTRUM_RC_VERSION)
  list(JOIN version_parts "." KESTRUM_RC_VERSION_TEXT)
  configure_file(${KESTRUM_RESOURCE_SOURCE_DIR}/kestrum.rc ${script} @ONLY)

  add_custom_command(
    OUTPUT ${bitmaps}
    BYPRODUCTS ${preview_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir} ${dir}/previews
    COMMAND ${KESTRUM_SYSTEM_PYTHON} ${icon_dir}/render_icon.py --palette ${icon_dir}/palette.txt
            --out ${dir} --preview ${dir}/previews ${maps}
    DEPENDS ${icon_dir}/render_icon.py ${icon_dir}/palette.txt ${maps}
    COMMENT "Drawing the icon's bitmaps"
    VERBATIM)
  # --bit-depth=4: icotool would otherwise pick 1 bit for a two-colour map;
  # PNG inputs are stored as bitmaps with their masks unless given with --raw.
  add_custom_command(
    OUTPUT ${ico}
    COMMAND ${KESTRUM_ICOTOOL} --create --icon --bit-depth=4 --output=${ico} ${bitmaps}
    DEPENDS ${bitmaps}
    COMMENT "Packing Kestrum.ico"
    VERBATIM)
  # No preprocessing: it would need a clang in PATH and Windows headers.
  # "--" because llvm-rc also takes /-options: a source path such as
  # /check/... would otherwise be read as its /C (code page) option.
  add_custom_command(
    OUTPUT ${res}
    COMMAND ${KESTRUM_LLVM_RC} -no-preprocess -X -C 65001 -I ${dir} -FO ${res} -- ${script}
    DEPENDS ${script} ${ico}
    COMMENT "Compiling the icon and version resources"
    VERBATIM)
  add_custom_command(
    OUTPUT ${asm}
    COMMAND ${KESTRUM_SYSTEM_PYTHON} ${KESTRUM_RESOURCE_SOURCE_DIR}/res_to_asm.py ${res} ${asm}
    DEPENDS ${KESTRUM_RESOURCE_SOURCE_DIR}/res_to_asm.py ${res}
    COMMENT "Laying out the resource section"
    VERBATIM)
  set(${out_var} ${asm} PARENT_SCOPE)

  # For the tests: the icon, and the previews the README shows.
  set_property(GLOBAL PROPERTY KESTRUM_ICON ${ico})
  set_property(GLOBAL PROPERTY KESTRUM_ICON_PREVIEWS ${previews})
  set_property(GLOBAL PROPERTY KESTRUM_ICON_PREVIEW_DIR ${dir}/previews)
endfunction()
