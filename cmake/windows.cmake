# The setup executable for Windows x64, its Windows test programs, and the
# test run under Wine.
enable_language(RC)

add_compile_definitions(UNICODE _UNICODE WINVER=0x0A00 _WIN32_WINNT=0x0A00 NOMINMAX)

set(ZELKORA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(ZELKORA_WINE_ENV ${CMAKE_SOURCE_DIR}/tests/wine/wine-env)
# Windows test programs run through this wrapper: an isolated prefix in the
# build tree, one wineserver and one Xvfb for the whole test run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX})

add_executable(zelkora_setup WIN32
    app/application.cpp
    app/entry.cpp
    app/main.cpp
    state/update_launch.cpp
    ui/fonts.cpp
    ui/setup_window.cpp
    resources/setup.rc
)
set_target_properties(zelkora_setup PROPERTIES OUTPUT_NAME Zelkora-1.0.0-windows-x64)
target_include_directories(zelkora_setup PRIVATE ${CMAKE_SOURCE_DIR}/resources)
target_compile_options(zelkora_setup PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra>)
target_link_options(zelkora_setup PRIVATE -municode)
target_link_libraries(zelkora_setup PRIVATE zelkora_portable gdiplus comctl32 shell32 advapi32 user32 gdi32)
set(ZELKORA_SETUP_EXE $<TARGET_FILE:zelkora_setup>)

add_executable(progress-lines tools/progress-lines/main.cpp)
target_link_libraries(progress-lines PRIVATE zelkora_portable)

# Stands in for Windows PowerShell inside the Wine prefix.
add_executable(powershell_standin tests/powershell/powershell.cpp)
set_target_properties(powershell_standin PROPERTIES OUTPUT_NAME powershell)
target_link_options(powershell_standin PRIVATE -municode)

# Acts on the setup's windows from outside, for scripts and tests.
add_executable(ui-driver tests/ui-driver/main.cpp)
target_link_options(ui-driver PRIVATE -municode)

set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(windows_tests
    tests/windows/administrator_refusal_test.cpp
    tests/windows/embedded_resources_test.cpp
    tests/windows/setup_window_test.cpp
    tests/windows/test_support.cpp
)
target_link_libraries(windows_tests PRIVATE zelkora_portable GTest::gtest_main advapi32 user32 version)

add_test(NAME wine_prefix_setup
    COMMAND ${ZELKORA_WINE_ENV} setup ${ZELKORA_WINE_PREFIX} $<TARGET_FILE:powershell_standin>)
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine)
add_test(NAME wine_prefix_teardown COMMAND ${ZELKORA_WINE_ENV} teardown ${ZELKORA_WINE_PREFIX})
set_tests_properties(wine_prefix_teardown PROPERTIES FIXTURES_CLEANUP wine)

add_test(NAME windows_tests COMMAND windows_tests)
add_test(NAME progress_lines_driver_windows
    COMMAND ${CMAKE_SOURCE_DIR}/tests/driver/check-progress-lines
            ${CMAKE_SOURCE_DIR}/tests/driver
            ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX} $<TARGET_FILE:progress-lines>)
set_tests_properties(windows_tests progress_lines_driver_windows PROPERTIES
    FIXTURES_REQUIRED wine
    ENVIRONMENT "ZELKORA_SETUP_EXE=${ZELKORA_SETUP_EXE};ZELKORA_SOURCE_DIR=${CMAKE_SOURCE_DIR}")

add_test(NAME setup_imports_only_system_dlls
    COMMAND ${CMAKE_SOURCE_DIR}/tests/check-imports x86_64-w64-mingw32-objdump ${ZELKORA_SETUP_EXE})
