# kx_delay_import_libraries(<out-var> <name>...): for each name (gdiplus, winmm...) a
# delay-import library built from MinGW's lib<name>.a; <out-var> gets their paths.
# The program links these in place of the import libraries, so a DLL loads on first
# use, through the delay-load hook, from System32.
function(kx_delay_import_libraries out_var)
  if(NOT CMAKE_DLLTOOL OR NOT CMAKE_NM)
    message(FATAL_ERROR "dlltool and nm of the MinGW toolchain are needed")
  endif()
  set(libraries "")
  foreach(name ${ARGN})
    find_library(KX_IMPORT_LIB_${name} NAMES ${name} REQUIRED)
    set(output ${CMAKE_BINARY_DIR}/delay_imports/lib${name}_delayed.a)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL}
        -DIMPORT_LIB=${KX_IMPORT_LIB_${name}} -DDEF=${CMAKE_BINARY_DIR}/delay_imports/${name}.def
        -DOUTPUT=${output} -P ${CMAKE_SOURCE_DIR}/cmake/make_delay_lib.cmake
      DEPENDS ${KX_IMPORT_LIB_${name}} ${CMAKE_SOURCE_DIR}/cmake/make_delay_lib.cmake
      COMMENT "Delay-import library for ${name}" VERBATIM)
    list(APPEND libraries ${output})
  endforeach()
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/delay_imports)
  add_custom_target(kx_delay_imports DEPENDS ${libraries})
  set(${out_var} ${libraries} PARENT_SCOPE)
endfunction()
