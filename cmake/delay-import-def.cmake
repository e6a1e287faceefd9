# Writes a module-definition file listing every function an import library
# imports (its __imp_ symbols), so that dlltool can make a delay-import
# library for the same DLL.
#   cmake -DNM=... -DIMPORT_LIBRARY=... -DDLL_NAME=x.dll -DDEF_FILE=... -P delay-import-def.cmake
execute_process(COMMAND ${NM} ${IMPORT_LIBRARY}
    OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${IMPORT_LIBRARY}")
endif()
string(REGEX MATCHALL "[ \t]I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
list(TRANSFORM imports REPLACE "^[ \t]I __imp_" "")
list(REMOVE_DUPLICATES imports)
list(SORT imports)
if(NOT imports)
    message(FATAL_ERROR "no imports found in ${IMPORT_LIBRARY}")
endif()
list(JOIN imports "\n" exports)
file(WRITE ${DEF_FILE} "LIBRARY ${DLL_NAME}\nEXPORTS\n${exports}\n")
