# Native build of the portable logic with AddressSanitizer and
# UndefinedBehaviorSanitizer, its tests, and the libFuzzer targets.
set(ZELKORA_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${ZELKORA_SANITIZERS})
add_link_options(${ZELKORA_SANITIZERS})

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(progress-lines tools/progress-lines/main.cpp)
target_link_libraries(progress-lines PRIVATE zelkora_portable)

add_executable(host_tests
    tests/host/installer_command_test.cpp
    tests/host/device_rules_test.cpp
    tests/host/diagnostics_copy_test.cpp
    tests/host/display_model_test.cpp
    tests/host/handoff_record_test.cpp
    tests/host/outcome_codes_test.cpp
    tests/host/outcome_messages_test.cpp
    tests/host/path_rules_test.cpp
    tests/host/progress_line_test.cpp
    tests/host/request_protocol_test.cpp
    tests/host/restart_procedure_test.cpp
    tests/host/result_panel_test.cpp
    tests/host/window_geometry_test.cpp
    tests/host/result_record_test.cpp
    tests/host/run_modes_test.cpp
    tests/host/seamless_update_test.cpp
    tests/host/splash_model_test.cpp
    tests/host/splash_selftest_test.cpp
    tests/host/text_encoding_test.cpp
    tests/host/text_item_test.cpp
    tests/host/text_wrap_test.cpp
    tests/host/update_staging_test.cpp
    tests/host/version_folders_test.cpp
    tests/host/version_test.cpp
    tests/host/winfsp_rules_test.cpp
)
target_link_libraries(host_tests PRIVATE zelkora_portable GTest::gtest_main)
add_test(NAME host_tests COMMAND host_tests)

add_test(NAME progress_lines_driver
    COMMAND ${CMAKE_SOURCE_DIR}/tests/driver/check-cases
            ${CMAKE_SOURCE_DIR}/tests/driver/progress-lines $<TARGET_FILE:progress-lines>)
add_test(NAME check_cases_verdicts COMMAND ${CMAKE_SOURCE_DIR}/tests/driver/check-cases-test)

# Each fuzz target runs for a bounded time; any finding fails the test.
set(ZELKORA_FUZZ_SECONDS 30 CACHE STRING "Seconds each fuzz target runs in the test suite")
function(zelkora_fuzz_target name source)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE zelkora_portable)
    set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    file(MAKE_DIRECTORY ${corpus})
    add_test(NAME ${name}
        COMMAND ${name} -max_total_time=${ZELKORA_FUZZ_SECONDS} -print_final_stats=1
                ${corpus} ${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${name})
endfunction()

zelkora_fuzz_target(fuzz_progress_line tests/fuzz/progress_line_fuzz.cpp)
zelkora_fuzz_target(fuzz_payload_protocol tests/fuzz/payload_protocol_fuzz.cpp)
zelkora_fuzz_target(fuzz_path_rules tests/fuzz/path_rules_fuzz.cpp)
zelkora_fuzz_target(fuzz_backend_rules tests/fuzz/backend_rules_fuzz.cpp)
zelkora_fuzz_target(fuzz_text_path tests/fuzz/text_path_fuzz.cpp)
zelkora_fuzz_target(fuzz_handoff_record tests/fuzz/handoff_record_fuzz.cpp)

# Subsystem dependencies point down: core below state, payload and ui; app on top.
add_test(NAME include_directions COMMAND ${CMAKE_SOURCE_DIR}/tests/check-includes ${CMAKE_SOURCE_DIR})
add_test(NAME include_rules_verdicts COMMAND ${CMAKE_SOURCE_DIR}/tests/check-includes-test)
