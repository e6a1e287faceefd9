# Delay-import libraries, made at build time from MinGW's import libraries.
#
# Windows resolves an executable's static imports before its entry point
# runs, searching the executable's own folder first for any DLL that is not a
# KnownDLL; an elevated setup started from a Downloads folder would load a
# planted uxtheme.dll or gdiplus.dll from there. So the setup imports directly
# only KnownDLLs (tests/check-imports holds that list), and every other DLL is
# delay-imported: the entry point first restricts the default DLL directories
# to System32 and then resolves these imports (app/main_win32.cpp).
#
# GNU ld here has no option for the image's DependentLoadFlags, so the
# delay-load route is the one the toolchain offers: dlltool -y makes the
# library, and the helper __delayLoadHelper2 (libmingwex) loads the DLL with
# LoadLibraryA, which follows the process's default DLL directories.

find_program(ZELKORA_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
find_program(ZELKORA_NM NAMES x86_64-w64-mingw32-nm REQUIRED)

set(ZELKORA_DELAY_LOAD_DIR ${CMAKE_BINARY_DIR}/delay-load)
file(MAKE_DIRECTORY ${ZELKORA_DELAY_LOAD_DIR})

# zelkora_delay_loaded(<dll>) defines the imported library zelkora::delay_<dll>,
# to be linked in place of <dll>. dlltool names the library's import descriptor
# after the output file: __DELAY_IMPORT_DESCRIPTOR_<dll>_delay_a.
function(zelkora_delay_loaded dll)
    find_library(import_library_${dll} NAMES ${dll} REQUIRED)
    set(import_library ${import_library_${dll}})
    set(folder ${ZELKORA_DELAY_LOAD_DIR})
    add_custom_command(OUTPUT ${folder}/${dll}-delay.a
        COMMAND ${CMAKE_COMMAND} -DNM=${ZELKORA_NM} -DIMPORT_LIBRARY=${import_library}
                -DDLL_NAME=${dll}.dll -DDEF_FILE=${dll}.def
                -P ${CMAKE_SOURCE_DIR}/cmake/delay-import-def.cmake
        COMMAND ${ZELKORA_DLLTOOL} --input-def ${dll}.def --dllname ${dll}.dll
                --output-delaylib ${dll}-delay.a
        DEPENDS ${import_library} ${CMAKE_SOURCE_DIR}/cmake/delay-import-def.cmake
        WORKING_DIRECTORY ${folder}
        COMMENT "Delay-import library for ${dll}.dll"
        VERBATIM)
    add_custom_target(delay_load_${dll} DEPENDS ${folder}/${dll}-delay.a)
    add_library(zelkora::delay_${dll} STATIC IMPORTED GLOBAL)
    set_target_properties(zelkora::delay_${dll} PROPERTIES IMPORTED_LOCATION ${folder}/${dll}-delay.a)
    add_dependencies(zelkora::delay_${dll} delay_load_${dll})
endfunction()

# GNU ld 2.40 leaves the image's delay-import directory empty, so neither
# __HrLoadAllImportsForDll nor a walk of that directory finds the descriptors.
# This header names them for the entry point, which binds them at start-up.
function(zelkora_delay_import_header path)
    set(declarations "")
    set(entries "")
    foreach(dll IN LISTS ARGN)
        string(APPEND declarations
            "extern \"C\" const IMAGE_DELAYLOAD_DESCRIPTOR __DELAY_IMPORT_DESCRIPTOR_${dll}_delay_a;\n")
        string(APPEND entries "    &__DELAY_IMPORT_DESCRIPTOR_${dll}_delay_a,\n")
    endforeach()
    file(CONFIGURE OUTPUT ${path} CONTENT [=[
// Made by cmake/delay-load.cmake from the list of delay-loaded DLLs.
#pragma once

#include <windows.h>

@declarations@
inline const IMAGE_DELAYLOAD_DESCRIPTOR* const kDelayImportDescriptors[] = {
@entries@};
]=] @ONLY)
endfunction()
