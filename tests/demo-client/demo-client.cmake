# The demo Client Zelkora.exe, a test and demo program that plays the running
# Client's side of an update; never shipped with the setup. Built once per
# version into demo-client/<version>/ beside its zelkora-client.json, with
# the update bootstrap it stages embedded as a resource.
set(ZELKORA_DEMO_CLIENT_VERSIONS 0.8.0 0.9.0 1.0.0 1.0.1)
set(ZELKORA_DEMO_CLIENT_DIR ${CMAKE_BINARY_DIR}/demo-client)
set(demo_source_dir ${CMAKE_SOURCE_DIR}/tests/demo-client)

add_executable(demo_update_bootstrap WIN32 ${demo_source_dir}/update_bootstrap.cpp)
set_target_properties(demo_update_bootstrap PROPERTIES OUTPUT_NAME update-bootstrap
    RUNTIME_OUTPUT_DIRECTORY ${ZELKORA_DEMO_CLIENT_DIR})
target_include_directories(demo_update_bootstrap PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(demo_update_bootstrap PRIVATE -Wall -Wextra)
target_link_options(demo_update_bootstrap PRIVATE -municode)
target_link_libraries(demo_update_bootstrap PRIVATE shell32)
set(ZELKORA_DEMO_BOOTSTRAP ${ZELKORA_DEMO_CLIENT_DIR}/update-bootstrap.exe)

foreach(version IN LISTS ZELKORA_DEMO_CLIENT_VERSIONS)
    string(REPLACE "." "_" id ${version})
    string(REPLACE "." "," ZELKORA_DEMO_VERSION_COMMAS ${version})
    set(ZELKORA_DEMO_VERSION ${version})
    set(output_dir ${ZELKORA_DEMO_CLIENT_DIR}/${version})
    set(rc ${CMAKE_BINARY_DIR}/generated/demo-client-${version}.rc)
    configure_file(${demo_source_dir}/client.rc.in ${rc} @ONLY)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${ZELKORA_DEMO_BOOTSTRAP})
    file(WRITE ${output_dir}/zelkora-client.json "{\"product\": \"Zelkora\", \"version\": \"${version}\"}")

    add_executable(demo_client_${id} WIN32
        ${demo_source_dir}/client.cpp ${demo_source_dir}/update_request.cpp ${rc})
    set_target_properties(demo_client_${id} PROPERTIES OUTPUT_NAME Zelkora RUNTIME_OUTPUT_DIRECTORY ${output_dir})
    target_include_directories(demo_client_${id} PRIVATE ${CMAKE_SOURCE_DIR} ${demo_source_dir})
    target_compile_definitions(demo_client_${id} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:ZELKORA_DEMO_VERSION=L"${version}">)
    target_compile_options(demo_client_${id} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra>)
    target_link_options(demo_client_${id} PRIVATE -municode)
    target_link_libraries(demo_client_${id} PRIVATE advapi32 bcrypt ole32 shell32 user32 gdi32 uuid)
    add_dependencies(demo_client_${id} demo_update_bootstrap)
    list(APPEND ZELKORA_DEMO_CLIENT_TARGETS demo_client_${id})
endforeach()
add_custom_target(demo_clients DEPENDS ${ZELKORA_DEMO_CLIENT_TARGETS})

# Plays the setup's side in the demo Client's smoke test.
add_executable(demo_answering_setup WIN32 ${demo_source_dir}/answering_setup.cpp)
set_target_properties(demo_answering_setup PROPERTIES OUTPUT_NAME answering-setup
    RUNTIME_OUTPUT_DIRECTORY ${ZELKORA_DEMO_CLIENT_DIR})
target_include_directories(demo_answering_setup PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(demo_answering_setup PRIVATE -municode)
target_link_libraries(demo_answering_setup PRIVATE advapi32)
