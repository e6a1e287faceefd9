# The setup executable for Windows x64, its Windows test programs, and the
# test run under Wine.
enable_language(RC)

add_compile_definitions(UNICODE _UNICODE WINVER=0x0A00 _WIN32_WINNT=0x0A00 NOMINMAX)

set(ZELKORA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(ZELKORA_WINE_ENV ${CMAKE_SOURCE_DIR}/tests/wine/wine-env)
# Windows test programs run through this wrapper: an isolated prefix in the
# build tree, one wineserver and one Xvfb for the whole test run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX})

# The Win32 side of the setup core: the shared file and path primitives, the
# trust rules and the progress channel.
add_library(zelkora_core_win32 STATIC
    core/file_paths_win32.cpp
    core/progress_channel_win32.cpp
    core/trust_rules_win32.cpp
)
target_link_libraries(zelkora_core_win32 PUBLIC zelkora_portable ole32 shell32 advapi32)
target_compile_options(zelkora_core_win32 PRIVATE -Wall -Wextra)

# The Win32 side of the installation state: install locations and launch
# targets, the hand-off record in the registry, the update-launcher check.
add_library(zelkora_state_win32 STATIC
    state/handoff_registry_win32.cpp
    state/install_locations_win32.cpp
    state/known_locations_win32.cpp
    state/seamless_update_win32.cpp
    state/update_launcher_win32.cpp
)
target_link_libraries(zelkora_state_win32 PUBLIC zelkora_core_win32 zelkora_portable advapi32 ole32 shell32 version ntdll)
target_compile_options(zelkora_state_win32 PRIVATE -Wall -Wextra)

# The Win32 half of the payload engine: file primitives, trust checks,
# placement, shortcuts, removal and the start as the desktop user. A library so the Windows tests and the benchmark link the same code.
add_library(zelkora_payload_win32 STATIC
    payload/desktop_user_start_win32.cpp
    payload/file_primitives_win32.cpp
    payload/file_work_win32.cpp
    payload/full_path_win32.cpp
    payload/placement_win32.cpp
    payload/removal_win32.cpp
    payload/shortcuts_win32.cpp
    payload/trust_checks_win32.cpp
)
target_link_libraries(zelkora_payload_win32 PUBLIC zelkora_state_win32 zelkora_core_win32 zelkora_portable bcrypt advapi32 ole32 oleaut32 ntdll
    shell32 shlwapi uuid)
target_compile_options(zelkora_payload_win32 PRIVATE -Wall -Wextra)

# Win32 user-interface code that the Windows tests drive in-process.
add_library(zelkora_ui_win32 STATIC
    ui/certificate_lookup_win32.cpp
    ui/confirmation_dialog_win32.cpp
    ui/dialog_keys_win32.cpp
    ui/dialog_painting_win32.cpp
    ui/dialog_window_win32.cpp
    ui/display_painting_win32.cpp
    ui/accessible_win32.cpp
    ui/button_painting_win32.cpp
    ui/paint_surface_win32.cpp
    ui/shapes_win32.cpp
    ui/splash_win32.cpp
    ui/text_engine_win32.cpp
    ui/theme_win32.cpp
    ui/title_bar_win32.cpp
    ui/window_attribute_setter_win32.cpp
)
target_link_libraries(zelkora_ui_win32 PUBLIC zelkora_portable crypt32 user32 gdi32 gdiplus dwrite d2d1 ole32 oleaut32)
target_compile_options(zelkora_ui_win32 PRIVATE -Wall -Wextra)

# The device and driver backends. setupapi is a KnownDLL; the setup
# delay-loads the others, and msi.dll is loaded at run time from System32.
add_library(zelkora_backends_win32 STATIC
    backends/pnp/setup_api_win32.cpp
    backends/winfsp/machine_win32.cpp
)
target_link_libraries(zelkora_backends_win32 PUBLIC zelkora_payload_win32 zelkora_portable setupapi cfgmgr32 wintrust
    version advapi32)
target_compile_options(zelkora_backends_win32 PRIVATE -Wall -Wextra)

# Everything of the setup executable except the few sources that differ
# between the release and its test variant, so both link the same objects.
add_library(zelkora_app_win32 STATIC
    app/application_win32.cpp
    app/entry_win32.cpp
    app/seamless_run_win32.cpp
    ui/clipboard_win32.cpp
    ui/installer_run_win32.cpp
    ui/preview_fixtures_win32.cpp
    ui/selftest_harness_win32.cpp
    ui/setup_window_win32.cpp
    ui/window_geometry_win32.cpp
    ui/window_model_win32.cpp
    ui/window_painting_win32.cpp
)
target_include_directories(zelkora_app_win32 PRIVATE ${CMAKE_SOURCE_DIR}/resources)
target_compile_options(zelkora_app_win32 PRIVATE -Wall -Wextra)
target_link_libraries(zelkora_app_win32 PUBLIC zelkora_backends_win32 zelkora_ui_win32 zelkora_payload_win32 zelkora_core_win32 zelkora_portable)

add_executable(zelkora_setup WIN32
    app/main_win32.cpp
    app/start_failures_win32.cpp
    payload/pipe_session_win32.cpp
    resources/setup.rc
)
set_target_properties(zelkora_setup PROPERTIES OUTPUT_NAME ${ZELKORA_SETUP_NAME})
target_include_directories(zelkora_setup PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/generated)
target_compile_options(zelkora_setup PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra>)
target_link_options(zelkora_setup PRIVATE -municode)
# The setup's DLLs that are not KnownDLLs on every Windows 10 release. Listed
# after our own libraries and before their -lbcrypt and -lcrypt32, so these
# imports resolve to the delay-import libraries.
include(cmake/delay-load.cmake)
set(ZELKORA_SETUP_DELAY_LOADED bcrypt cfgmgr32 comctl32 crypt32 d2d1 dwrite gdiplus uxtheme version wintrust)
foreach(dll IN LISTS ZELKORA_SETUP_DELAY_LOADED)
    zelkora_delay_loaded(${dll})
endforeach()
list(TRANSFORM ZELKORA_SETUP_DELAY_LOADED PREPEND zelkora::delay_ OUTPUT_VARIABLE delay_libraries)
zelkora_delay_import_header(${ZELKORA_DELAY_LOAD_DIR}/delay_imports.h ${ZELKORA_SETUP_DELAY_LOADED})
target_include_directories(zelkora_setup PRIVATE ${ZELKORA_DELAY_LOAD_DIR})
target_link_libraries(zelkora_setup PRIVATE zelkora_app_win32 zelkora_backends_win32 zelkora_ui_win32 zelkora_payload_win32
    zelkora_state_win32 zelkora_core_win32 zelkora_portable ${delay_libraries} shell32 shlwapi ole32 oleaut32 advapi32 user32 gdi32 uuid)
set(ZELKORA_SETUP_EXE $<TARGET_FILE:zelkora_setup>)

add_executable(progress-lines tools/progress-lines/main.cpp)
target_link_libraries(progress-lines PRIVATE zelkora_portable)

# Feeds payload requests from standard input to one payload context.
add_executable(payload-console tools/payload-console/main.cpp)
target_link_options(payload-console PRIVATE -municode)
target_link_libraries(payload-console PRIVATE zelkora_payload_win32 zelkora_portable)

# Runs one operation of either backend, named on the command line.
add_executable(backends-console tools/backends-console/main.cpp)
target_link_options(backends-console PRIVATE -municode)
target_link_libraries(backends-console PRIVATE zelkora_backends_win32)

# Stands in for Windows PowerShell inside the Wine prefix.
add_executable(powershell_standin
    tests/powershell/command_script.cpp
    tests/powershell/local_files.cpp
    tests/powershell/pipe_client.cpp
    tests/powershell/powershell.cpp
    tests/powershell/scenario.cpp
    tests/powershell/text.cpp
    tests/powershell/transcript.cpp
)
set_target_properties(powershell_standin PROPERTIES OUTPUT_NAME powershell)
target_compile_options(powershell_standin PRIVATE -Wall -Wextra)
target_link_options(powershell_standin PRIVATE -municode)
target_link_libraries(powershell_standin PRIVATE zelkora_portable bcrypt)

# Acts on the setup's windows from outside, for scripts and tests.
add_executable(ui-driver tests/ui-driver/main.cpp)
target_link_options(ui-driver PRIVATE -municode)

# Reads a window's accessible tree and events from another process, as a screen reader does.
add_library(zelkora_a11y_walk STATIC tests/a11y-client/accessible_walk.cpp)
target_link_libraries(zelkora_a11y_walk PUBLIC oleacc ole32 oleaut32 user32)
add_executable(a11y-client tests/a11y-client/main.cpp)
target_link_options(a11y-client PRIVATE -municode)
target_link_libraries(a11y-client PRIVATE zelkora_a11y_walk)

# Times placement against the bare copy and hash work; run by hand under Wine.
add_executable(placement-bench tests/bench/placement_bench.cpp tests/windows/file_tree.cpp)
target_link_libraries(placement-bench PRIVATE zelkora_payload_win32)
target_link_options(placement-bench PRIVATE -municode)
add_executable(paint-bench tests/bench/paint_bench.cpp tests/windows/shipped_faces.rc)
target_include_directories(paint-bench PRIVATE ${CMAKE_SOURCE_DIR}/resources)
target_link_libraries(paint-bench PRIVATE zelkora_app_win32 uxtheme comctl32)
target_link_options(paint-bench PRIVATE -municode)
add_executable(bare-window tests/bench/bare_window.cpp)
target_link_options(bare-window PRIVATE -municode)
add_dependencies(paint-bench bare-window)

# The updater's bootstrap and the program it starts, for the update-launcher
# tests; its version resource also makes it a Zelkora.exe of version 1.2.3.
add_executable(update_probe tests/update-probe/main.cpp tests/update-probe/probe.rc)
set_target_properties(update_probe PROPERTIES OUTPUT_NAME update-probe)
target_compile_options(update_probe PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra>)
target_link_options(update_probe PRIVATE -municode)
target_link_libraries(update_probe PRIVATE zelkora_state_win32)

# Stand-ins for the backend tests: msiexec.exe, three WinFsp libraries, and
# MSI packages under WinFsp's upgrade code, all beside each other.
set(ZELKORA_BACKEND_TEST_FILES ${CMAKE_BINARY_DIR}/backend-test-files)
add_executable(msiexec_standin tests/msiexec/msiexec.cpp)
set_target_properties(msiexec_standin PROPERTIES OUTPUT_NAME msiexec RUNTIME_OUTPUT_DIRECTORY ${ZELKORA_BACKEND_TEST_FILES})
target_link_options(msiexec_standin PRIVATE -municode)
target_link_libraries(msiexec_standin PRIVATE zelkora_portable)
foreach(variant IN ITEMS "library" "library-no-driver" "library-missing-export")
    set(target winfsp_${variant})
    string(REPLACE "-" "_" target ${target})
    add_library(${target} SHARED tests/winfsp/library.cpp tests/winfsp/library.rc)
    set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME winfsp-${variant}
        RUNTIME_OUTPUT_DIRECTORY ${ZELKORA_BACKEND_TEST_FILES})
    target_link_options(${target} PRIVATE -static -static-libgcc)
    list(APPEND backend_test_files ${target})
endforeach()
target_compile_definitions(winfsp_library_no_driver PRIVATE ZELKORA_SERVICE_VERSION=0)
target_compile_definitions(winfsp_library_missing_export PRIVATE ZELKORA_OMIT_DISPATCHER)
set(msi_products "2.0.23075|7A1C0000-0000-4000-8000-000000020000"
                 "2.1.24255|7A1C0000-0000-4000-8000-000000020100"
                 "2.0.23075.5|7A1C0000-0000-4000-8000-000000020005")
set(msi_files "")
foreach(product IN LISTS msi_products)
    string(REPLACE "|" ";" fields ${product})
    list(GET fields 0 version)
    list(GET fields 1 code)
    string(REPLACE "7A1C0000-" "7A1C0001-" component ${code})
    set(msi ${ZELKORA_BACKEND_TEST_FILES}/winfsp-${version}.msi)
    add_custom_command(OUTPUT ${msi}
        COMMAND wixl -a x64 -D ProductCode=${code} -D ComponentCode=${component} -D Version=${version}
                -o ${msi} ${CMAKE_SOURCE_DIR}/tests/winfsp/product.wxs
        DEPENDS ${CMAKE_SOURCE_DIR}/tests/winfsp/product.wxs VERBATIM)
    list(APPEND msi_files ${msi})
endforeach()
add_custom_target(winfsp_test_packages ALL DEPENDS ${msi_files})

include(${CMAKE_SOURCE_DIR}/tests/demo-client/demo-client.cmake)

set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(windows_tests
    tests/windows/accessible_tree_test.cpp
    tests/windows/administrator_refusal_test.cpp
    tests/windows/allocation_meter.cpp
    tests/windows/captured_output_test.cpp
    tests/windows/confirmation_dialog_test.cpp
    tests/windows/console_session.cpp
    tests/windows/demo_client_test.cpp
    tests/windows/dialog_painting_test.cpp
    tests/windows/display_backend_test.cpp
    tests/windows/embedded_resources_test.cpp
    tests/windows/file_primitives_test.cpp
    tests/windows/file_tree.cpp
    tests/windows/handoff_registry_test.cpp
    tests/windows/high_contrast_test.cpp
    tests/windows/install_locations_test.cpp
    tests/windows/installation_test.cpp
    tests/windows/installer_run_test.cpp
    tests/windows/interrupted_work_test.cpp
    tests/windows/pixel_probe_test.cpp
    tests/windows/partial_paint_test.cpp
    tests/windows/placement_test.cpp
    tests/windows/powershell_standin_test.cpp
    tests/windows/preview_test.cpp
    tests/windows/progress_channel_test.cpp
    tests/windows/removal_test.cpp
    tests/windows/seamless_update_test.cpp
    tests/windows/selftest_switches_test.cpp
    tests/windows/setup_window_test.cpp
    tests/windows/shipped_faces.rc
    tests/windows/shortcut_test.cpp
    tests/windows/splash_test.cpp
    tests/windows/test_support.cpp
    tests/windows/text_engine_test.cpp
    tests/windows/trust_rules_test.cpp
    tests/windows/update_launcher_test.cpp
    tests/windows/window_attributes_test.cpp
    tests/windows/winfsp_machine_test.cpp
)
target_include_directories(windows_tests PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_SOURCE_DIR}/tests/a11y-client)
add_dependencies(windows_tests payload-console update_probe demo_clients demo_answering_setup msiexec_standin winfsp_test_packages ${backend_test_files})
target_link_libraries(windows_tests PRIVATE zelkora_app_win32 zelkora_backends_win32 zelkora_ui_win32 zelkora_payload_win32 zelkora_state_win32 zelkora_core_win32 zelkora_portable GTest::gtest_main advapi32 user32 version uxtheme comctl32 zelkora_a11y_walk)

add_test(NAME wine_prefix_setup
    COMMAND ${ZELKORA_WINE_ENV} setup ${ZELKORA_WINE_PREFIX} $<TARGET_FILE:powershell_standin>)
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine)
# How wine-env refuses before any Wine command runs; needs no prefix.
add_test(NAME wine_env_refusals COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/wine-env-test)
add_test(NAME wine_prefix_teardown COMMAND ${ZELKORA_WINE_ENV} teardown ${ZELKORA_WINE_PREFIX})
set_tests_properties(wine_prefix_teardown PROPERTIES FIXTURES_CLEANUP wine)
# Unix symbolic links inside the fresh prefix, which Wine cannot make itself.
add_test(NAME wine_link_fixtures
    COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/make-link-fixtures ${ZELKORA_WINE_PREFIX})
set_tests_properties(wine_link_fixtures PROPERTIES FIXTURES_REQUIRED wine FIXTURES_SETUP wine_links)

# The Windows tests run as groups of GoogleTest suites, one CTest entry each,
# so that a hang costs one group's time-out and the log names the group. A
# suite may be named in one group only (checked here), and the last group runs
# every suite named in none, so each test runs exactly once and a new suite
# cannot be left out.
set(ZELKORA_WINDOWS_TEST_ENVIRONMENT
    "ZELKORA_SETUP_EXE=${ZELKORA_SETUP_EXE};ZELKORA_SOURCE_DIR=${CMAKE_SOURCE_DIR};ZELKORA_BACKEND_TEST_FILES=${ZELKORA_BACKEND_TEST_FILES};ZELKORA_TEST_VARIANT_EXE=$<TARGET_FILE:zelkora_setup_test_variant>;ZELKORA_UPDATE_PROBE_EXE=$<TARGET_FILE:update_probe>;ZELKORA_DEMO_CLIENT_DIR=${ZELKORA_DEMO_CLIENT_DIR}")
function(zelkora_windows_test_group name filter timeout)
    add_test(NAME windows_tests_${name} COMMAND windows_tests --gtest_filter=${filter})
    set_tests_properties(windows_tests_${name} PROPERTIES
        FIXTURES_REQUIRED "wine;wine_links" TIMEOUT ${timeout}
        ENVIRONMENT "${ZELKORA_WINDOWS_TEST_ENVIRONMENT}")
endfunction()
function(zelkora_windows_test_suites name timeout)  # suites...
    get_property(named GLOBAL PROPERTY ZELKORA_WINDOWS_TEST_SUITES)
    set(patterns "")
    foreach(suite IN LISTS ARGN)
        if(suite IN_LIST named)
            message(FATAL_ERROR "GoogleTest suite ${suite} is in two Windows test groups")
        endif()
        list(APPEND named ${suite})
        # "Prefix/Suite.*" is how a parameterized suite's tests are named.
        list(APPEND patterns "${suite}.*" "*/${suite}.*")
    endforeach()
    set_property(GLOBAL PROPERTY ZELKORA_WINDOWS_TEST_SUITES ${named})
    set_property(GLOBAL APPEND PROPERTY ZELKORA_WINDOWS_TEST_PATTERNS ${patterns})
    list(JOIN patterns ":" filter)
    zelkora_windows_test_group(${name} ${filter} ${timeout})
endfunction()
# Timeouts: about three times what each group takes on a busy two-core machine.
zelkora_windows_test_suites(rules_and_files 120
    DescriptorRulesByHand DescriptorRules WriteTypeRight OtherEntryType TrustedOwners
    ProtectedLocation ProtectedUpdateFolder UpdateFolderTrustData CertificateLookup
    FilePrimitives Placement PlacementRollback Removal SourceRemoval Shortcut ShortcutThroughConsole DesktopUserStart
    InterruptedWork PlacementKilled
    EmbeddedResources VersionResource Owners)
zelkora_windows_test_suites(rendering 120
    TextEngine PaintSurfaceTests TextBackEnds StepMarkers ButtonFaces DialogLayout DialogPainting SplashWindow
    WindowAttributes ProgressFrames SplashAnimation)
zelkora_windows_test_suites(pipe_and_standin 120
    ProgressPipe ProgressChannel ProductProcess ProductProcessIds StandInTest CommandForm SilentScenario PipeWait
    PowerShellOptions CapturedOutput ProductCommandLine)
zelkora_windows_test_suites(installer_runs 400
    InstallerRun FailedRuns MissingScript AbandonedScript ChannelEnd Installation FullInstallation SelfTestSwitch
    KeyboardRun SelfTestEarlyExit SelfTestEarlyExitSeam SetupKilled)
zelkora_windows_test_suites(demo_client 120 DemoClient DemoClientRequest)
zelkora_windows_test_suites(seamless_update 400 SeamlessEndToEnd SeamlessOutcome)
zelkora_windows_test_suites(setup_window 300 SetupWindow ConfirmationDialog AdministratorRefusal Previews SplashPreviews)
zelkora_windows_test_suites(installation_state 180
    HandoffRegistry HandoffStoredValues FileVersion MetadataFile HighestInstalledVersion InstalledClientNewer
    LaunchTargets UpdateNotNewer UpdateLauncher)
zelkora_windows_test_suites(pixel_probes 200 PixelProbes)
zelkora_windows_test_suites(accessibility 500 AccessibleTrees AccessibleRun AccessibleLocations HighContrast)
# The same probes on a screen of 144 DPI, which needs a prefix of its own:
# Wine reads the DPI when its wineserver starts.
set(ZELKORA_WINE_PREFIX_144 ${CMAKE_BINARY_DIR}/wine-144)
add_test(NAME wine_prefix_144_setup
    COMMAND ${CMAKE_COMMAND} -E env ZELKORA_WINE_DPI=144
            ${ZELKORA_WINE_ENV} setup ${ZELKORA_WINE_PREFIX_144} $<TARGET_FILE:powershell_standin>)
set_tests_properties(wine_prefix_144_setup PROPERTIES FIXTURES_SETUP wine_144)
add_test(NAME wine_prefix_144_teardown COMMAND ${ZELKORA_WINE_ENV} teardown ${ZELKORA_WINE_PREFIX_144})
set_tests_properties(wine_prefix_144_teardown PROPERTIES FIXTURES_CLEANUP wine_144)
add_test(NAME windows_tests_pixel_probes_144
    COMMAND ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX_144} $<TARGET_FILE:windows_tests>
            --gtest_filter=PixelProbes.*:*/PixelProbes.*)
set_tests_properties(windows_tests_pixel_probes_144 PROPERTIES
    FIXTURES_REQUIRED wine_144 TIMEOUT 200 FAIL_REGULAR_EXPRESSION "Running 0 tests"
    ENVIRONMENT "${ZELKORA_WINDOWS_TEST_ENVIRONMENT};ZELKORA_PROBE_DPI=144")
zelkora_windows_test_suites(backends 300
    DisplayBackend DisplayBackendOnWine WinFspInstalledVersion WinFspVerifyPackage WinFspLoadCheck WinFspLoadCheckFile WinFspRecord)
# The installer cases put a stand-in msiexec.exe into the system folder while
# each runs, so they get a prefix of their own: even a crash cannot leave the
# stand-in to other groups.
set(ZELKORA_WINE_PREFIX_MSIEXEC ${CMAKE_BINARY_DIR}/wine-msiexec)
add_test(NAME wine_prefix_msiexec_setup
    COMMAND ${ZELKORA_WINE_ENV} setup ${ZELKORA_WINE_PREFIX_MSIEXEC} $<TARGET_FILE:powershell_standin>)
set_tests_properties(wine_prefix_msiexec_setup PROPERTIES FIXTURES_SETUP wine_msiexec)
add_test(NAME wine_prefix_msiexec_links
    COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/make-link-fixtures ${ZELKORA_WINE_PREFIX_MSIEXEC})
set_tests_properties(wine_prefix_msiexec_links PROPERTIES FIXTURES_REQUIRED wine_msiexec FIXTURES_SETUP wine_msiexec_links)
add_test(NAME wine_prefix_msiexec_teardown COMMAND ${ZELKORA_WINE_ENV} teardown ${ZELKORA_WINE_PREFIX_MSIEXEC})
set_tests_properties(wine_prefix_msiexec_teardown PROPERTIES FIXTURES_CLEANUP wine_msiexec)
set_property(GLOBAL APPEND PROPERTY ZELKORA_WINDOWS_TEST_SUITES WinFspRunInstaller WinFspRunInstallerLog)
set_property(GLOBAL APPEND PROPERTY ZELKORA_WINDOWS_TEST_PATTERNS
    "WinFspRunInstaller.*" "*/WinFspRunInstaller.*" "WinFspRunInstallerLog.*" "*/WinFspRunInstallerLog.*")
add_test(NAME windows_tests_msiexec
    COMMAND ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX_MSIEXEC} $<TARGET_FILE:windows_tests>
            --gtest_filter=WinFspRunInstaller.*:*/WinFspRunInstaller.*:WinFspRunInstallerLog.*:*/WinFspRunInstallerLog.*)
set_tests_properties(windows_tests_msiexec PROPERTIES
    FIXTURES_REQUIRED "wine_msiexec;wine_msiexec_links" TIMEOUT 200 FAIL_REGULAR_EXPRESSION "Running 0 tests"
    ENVIRONMENT "${ZELKORA_WINDOWS_TEST_ENVIRONMENT}")
get_property(grouped GLOBAL PROPERTY ZELKORA_WINDOWS_TEST_PATTERNS)
list(JOIN grouped ":" grouped)
zelkora_windows_test_group(others -${grouped} 300)
add_test(NAME progress_lines_driver_windows
    COMMAND ${CMAKE_SOURCE_DIR}/tests/driver/check-cases
            ${CMAKE_SOURCE_DIR}/tests/driver/progress-lines
            ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX} $<TARGET_FILE:progress-lines>)
# Protocol answers and early refusals only: the folders are well-formed but
# do not exist, and no desktop or local application data folder is given.
add_test(NAME payload_console_driver
    COMMAND ${CMAKE_SOURCE_DIR}/tests/driver/check-cases
            ${CMAKE_SOURCE_DIR}/tests/driver/payload-console
            ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX} $<TARGET_FILE:payload-console>
            --bin "C:\\nowhere\\bin" --program-files "C:\\nowhere\\pf")
set_tests_properties(payload_console_driver PROPERTIES FIXTURES_REQUIRED wine)
add_test(NAME backends_console_driver
    COMMAND ${CMAKE_SOURCE_DIR}/tests/driver/check-backends-console
            ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX} $<TARGET_FILE:backends-console>)
set_tests_properties(backends_console_driver PROPERTIES FIXTURES_REQUIRED wine)
set_tests_properties(progress_lines_driver_windows PROPERTIES
    FIXTURES_REQUIRED wine ENVIRONMENT "${ZELKORA_WINDOWS_TEST_ENVIRONMENT}")

# The setup's own self-tests: scripted runs through the real pipe and window.
# Each passes only on its result line AND exit code 0 (a pass regex alone
# would make CTest ignore the exit code).
function(zelkora_self_test name)
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/tests/selftest/check-self-test
                                  ${ZELKORA_WINE_ENV} run ${ZELKORA_WINE_PREFIX} ${ZELKORA_SETUP_EXE} --${name})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
endfunction()
add_test(NAME self_test_verdicts COMMAND ${CMAKE_SOURCE_DIR}/tests/selftest/check-self-test-test)
foreach(selftest selftest selftest-failure selftest-attention selftest-restart selftest-update selftest-interrupted
                 selftest-update-splash selftest-update-splash-failure selftest-update-blocked
                 selftest-update-splash-blocked selftest-update-splash-restart)
    zelkora_self_test(${selftest})
endforeach()

# The release folder and zip from this tree, unsigned and signed with a
# throwaway certificate; runs natively, no Wine.
add_test(NAME release_folder_and_signing COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check-release ${CMAKE_BINARY_DIR})
# Every example of the script authors' guide, run again and compared.
add_test(NAME guide_examples
    COMMAND ${CMAKE_SOURCE_DIR}/tests/docs/replay-guide ${CMAKE_SOURCE_DIR}/docs/installer-script-protocol.md
            ${ZELKORA_WINE_ENV} ${ZELKORA_WINE_PREFIX} ${CMAKE_BINARY_DIR})
set_tests_properties(guide_examples PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)

add_test(NAME setup_imports_only_system_dlls
    COMMAND ${CMAKE_SOURCE_DIR}/tests/check-imports x86_64-w64-mingw32-objdump ${ZELKORA_NM} ${ZELKORA_SETUP_EXE})

# DLL planting: the setup copied into a folder with planted DLLs beside it
# loads none of them; the unhardened control shows the planted DLLs would load.
add_library(planted_dll SHARED tests/planted/planted_dll.cpp)
set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted)
target_include_directories(planted_dll PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(planted_dll PRIVATE -static -static-libgcc -static-libstdc++)
add_executable(unprotected_probe WIN32 tests/planted/unprotected_probe.cpp)
target_link_options(unprotected_probe PRIVATE -municode)
target_link_libraries(unprotected_probe PRIVATE uxtheme)
add_test(NAME setup_ignores_planted_dlls
    COMMAND ${CMAKE_SOURCE_DIR}/tests/planted/run-beside-planted-dlls ${ZELKORA_WINE_ENV} ${ZELKORA_WINE_PREFIX}
            ${ZELKORA_SETUP_EXE} $<TARGET_FILE:planted_dll> $<TARGET_FILE:unprotected_probe>)
set_tests_properties(setup_ignores_planted_dlls PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)

# The test variant: the setup from the same objects and settings (copied at the
# end of this file, so that none is missed), with one definition that makes it
# trust the current user too, who under Wine owns every file. End-to-end
# installations need it; it lives only in the build tree and never goes where
# a release is put.
get_target_property(setup_sources zelkora_setup SOURCES)
function(zelkora_setup_variant target output_name)  # extra sources...
    add_executable(${target} WIN32 ${setup_sources} ${ARGN})
    foreach(property INCLUDE_DIRECTORIES COMPILE_DEFINITIONS COMPILE_OPTIONS LINK_OPTIONS LINK_LIBRARIES)
        get_target_property(value zelkora_setup ${property})
        if(value)
            set_target_properties(${target} PROPERTIES ${property} "${value}")
        endif()
    endforeach()
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output_name})
endfunction()
zelkora_setup_variant(zelkora_setup_test_variant zelkora-setup-TEST-ONLY-trusts-current-user)
target_compile_definitions(zelkora_setup_test_variant PRIVATE ZELKORA_TEST_VARIANT_TRUSTS_CURRENT_USER)

# The setup painting as if Windows' high-contrast mode were on, which Wine
# cannot switch: for tools/screenshots only, never shipped.
zelkora_setup_variant(zelkora_setup_high_contrast zelkora-setup-TEST-ONLY-high-contrast
    tests/high-contrast/force_high_contrast.cpp)
