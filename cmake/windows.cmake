# The setup executable for Windows x64, its Windows test programs, and the
# test run under Wine.
enable_language(RC)

add_compile_definitions(UNICODE _UNICODE WINVER=0x0A00 _WIN32_WINNT=0x0A00 NOMINMAX)

set(ZELKORA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(ZELKORA_WINE_ENV ${CMAKE_SOURCE_DIR}/tests/wine/wine-env)
# Windows test programs run through this wrapper: an isolated prefix in the
# build tree, one wineserver and one Xvfb for the whole test run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX})

# The Win32 half of the payload engine: file primitives, trust checks and
# placement. A library so the Windows tests and the benchmark link the same code.
add_library(zelkora_payload_win32 STATIC
    payload/file_primitives.cpp
    payload/full_path_win32.cpp
    payload/placement.cpp
    payload/trust_checks.cpp
)
target_link_libraries(zelkora_payload_win32 PUBLIC zelkora_portable bcrypt advapi32)
target_compile_options(zelkora_payload_win32 PRIVATE -Wall -Wextra)

# Win32 user-interface code that the Windows tests drive in-process.
add_library(zelkora_ui_win32 STATIC
    ui/certificate_lookup_win32.cpp
    ui/confirmation_dialog.cpp
    ui/dialog_keys_win32.cpp
    ui/dialog_painting_win32.cpp
    ui/dialog_window_win32.cpp
)
target_link_libraries(zelkora_ui_win32 PUBLIC zelkora_portable crypt32 user32 gdi32)
target_compile_options(zelkora_ui_win32 PRIVATE -Wall -Wextra)

add_executable(zelkora_setup WIN32
    app/application.cpp
    app/entry.cpp
    app/main.cpp
    core/progress_channel.cpp
    payload/pipe_session.cpp
    state/known_locations.cpp
    state/update_launch.cpp
    ui/clipboard_win32.cpp
    ui/fonts.cpp
    ui/installer_run.cpp
    ui/setup_window.cpp
    ui/window_painting.cpp
    resources/setup.rc
)
set_target_properties(zelkora_setup PROPERTIES OUTPUT_NAME Zelkora-1.0.0-windows-x64)
target_include_directories(zelkora_setup PRIVATE ${CMAKE_SOURCE_DIR}/resources)
target_compile_options(zelkora_setup PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra>)
target_link_options(zelkora_setup PRIVATE -municode)
target_link_libraries(zelkora_setup PRIVATE zelkora_ui_win32 zelkora_payload_win32 zelkora_portable gdiplus comctl32 shell32 ole32 uxtheme advapi32 user32 gdi32)
set(ZELKORA_SETUP_EXE $<TARGET_FILE:zelkora_setup>)

add_executable(progress-lines tools/progress-lines/main.cpp)
target_link_libraries(progress-lines PRIVATE zelkora_portable)

# Feeds payload requests from standard input to one payload context.
add_executable(payload-console tools/payload-console/main.cpp)
target_link_options(payload-console PRIVATE -municode)
target_link_libraries(payload-console PRIVATE zelkora_payload_win32 zelkora_portable)

# Stands in for Windows PowerShell inside the Wine prefix.
add_executable(powershell_standin
    tests/powershell/command_script.cpp
    tests/powershell/local_files.cpp
    tests/powershell/pipe_client.cpp
    tests/powershell/powershell.cpp
    tests/powershell/scenario.cpp
    tests/powershell/transcript.cpp
)
set_target_properties(powershell_standin PROPERTIES OUTPUT_NAME powershell)
target_compile_options(powershell_standin PRIVATE -Wall -Wextra)
target_link_options(powershell_standin PRIVATE -municode)
target_link_libraries(powershell_standin PRIVATE zelkora_portable bcrypt)

# Acts on the setup's windows from outside, for scripts and tests.
add_executable(ui-driver tests/ui-driver/main.cpp)
target_link_options(ui-driver PRIVATE -municode)

# Times placement against the bare copy and hash work; run by hand under Wine.
add_executable(placement-bench tests/bench/placement_bench.cpp tests/windows/file_tree.cpp)
target_link_libraries(placement-bench PRIVATE zelkora_payload_win32)
target_link_options(placement-bench PRIVATE -municode)

set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(windows_tests
    tests/windows/administrator_refusal_test.cpp
    tests/windows/confirmation_dialog_test.cpp
    tests/windows/embedded_resources_test.cpp
    tests/windows/file_primitives_test.cpp
    tests/windows/file_tree.cpp
    tests/windows/installer_run_test.cpp
    tests/windows/placement_test.cpp
    tests/windows/powershell_standin_test.cpp
    tests/windows/progress_channel_test.cpp
    core/progress_channel.cpp
    tests/windows/setup_window_test.cpp
    tests/windows/test_support.cpp
    tests/windows/trust_rules_test.cpp
)
target_link_libraries(windows_tests PRIVATE zelkora_ui_win32 zelkora_payload_win32 zelkora_portable GTest::gtest_main advapi32 user32 version)

add_test(NAME wine_prefix_setup
    COMMAND ${ZELKORA_WINE_ENV} setup ${ZELKORA_WINE_PREFIX} $<TARGET_FILE:powershell_standin>)
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine)
add_test(NAME wine_prefix_teardown COMMAND ${ZELKORA_WINE_ENV} teardown ${ZELKORA_WINE_PREFIX})
set_tests_properties(wine_prefix_teardown PROPERTIES FIXTURES_CLEANUP wine)
# Unix symbolic links inside the fresh prefix, which Wine cannot make itself.
add_test(NAME wine_link_fixtures
    COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/make-link-fixtures ${ZELKORA_WINE_PREFIX})
set_tests_properties(wine_link_fixtures PROPERTIES FIXTURES_REQUIRED wine FIXTURES_SETUP wine_links)

add_test(NAME windows_tests COMMAND windows_tests)
add_test(NAME progress_lines_driver_windows
    COMMAND ${CMAKE_SOURCE_DIR}/tests/driver/check-cases
            ${CMAKE_SOURCE_DIR}/tests/driver/progress-lines
            ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX} $<TARGET_FILE:progress-lines>)
# Protocol answers only: the folders are well-formed but do not exist.
add_test(NAME payload_console_driver
    COMMAND ${CMAKE_SOURCE_DIR}/tests/driver/check-cases
            ${CMAKE_SOURCE_DIR}/tests/driver/payload-console
            ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX} $<TARGET_FILE:payload-console>
            --bin "C:\\nowhere\\bin" --program-files "C:\\nowhere\\pf")
set_tests_properties(payload_console_driver PROPERTIES FIXTURES_REQUIRED wine)
set_tests_properties(windows_tests progress_lines_driver_windows PROPERTIES
    FIXTURES_REQUIRED wine
    ENVIRONMENT "ZELKORA_SETUP_EXE=${ZELKORA_SETUP_EXE};ZELKORA_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
set_tests_properties(windows_tests PROPERTIES FIXTURES_REQUIRED "wine;wine_links")

# The setup's own self-tests: scripted runs through the real pipe and window.
foreach(selftest selftest selftest-failure selftest-attention selftest-restart selftest-update selftest-interrupted)
    add_test(NAME ${selftest} COMMAND ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX} ${ZELKORA_SETUP_EXE} --${selftest})
    set_tests_properties(${selftest} PROPERTIES FIXTURES_REQUIRED wine PASS_REGULAR_EXPRESSION "passed=1")
endforeach()

add_test(NAME setup_imports_only_system_dlls
    COMMAND ${CMAKE_SOURCE_DIR}/tests/check-imports x86_64-w64-mingw32-objdump ${ZELKORA_SETUP_EXE})
