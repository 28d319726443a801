# Writes a delay-import library for one DLL from its ordinary MinGW import library:
# the functions it names become a .def file that dlltool turns into the library.
# cmake -DNM=<nm> -DDLLTOOL=<dlltool> -DIMPORT_LIB=<lib*.a> -DDEF=<out.def> -DOUTPUT=<out.a> -P make_delay_lib.cmake
execute_process(COMMAND ${DLLTOOL} --identify ${IMPORT_LIB}
  OUTPUT_VARIABLE dll_name OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${NM} --defined-only ${IMPORT_LIB}
  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
# Each function has a thunk ("T name"); its address slot is "I __imp_name".
string(REGEX MATCHALL "[^\n]* T [^\n]+" thunks "${symbols}")
set(exports "")
foreach(line ${thunks})
  string(REGEX REPLACE ".* T " "" name "${line}")
  string(APPEND exports "${name}\n")
endforeach()
if(exports STREQUAL "")
  message(FATAL_ERROR "${IMPORT_LIB} names no functions")
endif()
file(WRITE ${DEF} "LIBRARY \"${dll_name}\"\nEXPORTS\n${exports}")
execute_process(COMMAND ${DLLTOOL} --input-def ${DEF} --dllname ${dll_name} --output-delaylib ${OUTPUT}
  COMMAND_ERROR_IS_FATAL ANY)
