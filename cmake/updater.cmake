# The updater, for the given update server host (host or host:port).
function(pelmora_updater name host)
  add_executable(${name} WIN32 ${PROJECT_SOURCE_DIR}/app/pelmora_update.cpp ${PROJECT_SOURCE_DIR}/update/update_run.cpp
              ${PROJECT_SOURCE_DIR}/update/windows_host_operations.cpp
              ${PELMORA_MANIFEST_RESOURCE} ${PELMORA_VERSION_RESOURCE})
  target_compile_definitions(${name} PRIVATE PELMORA_UPDATE_HOST="${host}")
  target_link_libraries(${name} PRIVATE pelmora_host)
endfunction()

set(PELMORA_UPDATE_HOST "update.pelmora.example" CACHE STRING "The update server's host: host or host:port")
pelmora_updater(PelmoraUpdate "${PELMORA_UPDATE_HOST}")
set_target_properties(PelmoraUpdate PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
pelmora_sign(PelmoraUpdate)
