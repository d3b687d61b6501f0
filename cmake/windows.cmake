enable_language(RC)

# Windows programs: statically linked, so that nothing but the system's DLLs is needed beside them.
add_link_options(-static -static-libgcc -static-libstdc++)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

set(PELMORA_ZLIB /usr/${PELMORA_MINGW_TRIPLET}/lib/libz.a)

# minizip's unzip part from Debian's patched source (scripts/setup fetches it), compiled as C
# against mingw's zlib. Its own warnings are not ours to mend.
set(PELMORA_MINIZIP_DIR ${PROJECT_SOURCE_DIR}/third_party/minizip)
add_library(pelmora_minizip STATIC ${PELMORA_MINIZIP_DIR}/unzip.c ${PELMORA_MINIZIP_DIR}/ioapi.c)
target_include_directories(pelmora_minizip PUBLIC ${PELMORA_MINIZIP_DIR})
target_compile_options(pelmora_minizip PRIVATE -w)
target_link_libraries(pelmora_minizip PUBLIC ${PELMORA_ZLIB})

add_library(pelmora_host STATIC
    ${PELMORA_LOGIC_SOURCES}
    common/heap_windows.cpp
    app/program_windows.cpp
    host/file_ops.cpp
    host/zip_component.cpp
    host/zip_archive.cpp
    host/zip_file_entry.cpp
    host/archive_fetch.cpp
    host/process_ops.cpp
)
target_include_directories(pelmora_host PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(pelmora_host PUBLIC pelmora_minizip ${PELMORA_ZLIB} wininet user32 kernel32)

# The application manifest, for every Windows program that stands for a real one; the version
# resource, for the updater.
set(PELMORA_MANIFEST_RESOURCE ${PROJECT_SOURCE_DIR}/app/manifest.rc)
configure_file(${PROJECT_SOURCE_DIR}/app/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)
set(PELMORA_VERSION_RESOURCE ${CMAKE_BINARY_DIR}/version.rc)

# A GUI-subsystem program with the host layer, started the way the updater is.
function(pelmora_gui_program name)
  add_executable(${name} WIN32 ${ARGN} ${PELMORA_MANIFEST_RESOURCE})
  target_link_libraries(${name} PRIVATE pelmora_host)
endfunction()

# Where 32-bit programs start through an emulator (a minute or more each, see scripts/setup), the
# 32-bit build registers only its end-to-end case and the checks of the shipping binary; the
# 64-bit build runs every Windows test.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND EXISTS /proc/sys/fs/binfmt_misc/pelmora-i386)
  set(PELMORA_REGISTER_WINE_TESTS OFF)
else()
  set(PELMORA_REGISTER_WINE_TESTS ON)
endif()

add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(cmake/signing.cmake)
include(cmake/updater.cmake)
add_subdirectory(tests/win)
add_subdirectory(tests/e2e)
add_subdirectory(bench)
