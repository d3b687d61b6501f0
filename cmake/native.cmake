# The pure logic and its unit tests on the host, under AddressSanitizer and UndefinedBehaviorSanitizer.
set(PELMORA_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${PELMORA_SANITIZE})
add_link_options(${PELMORA_SANITIZE})

add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(pelmora_logic STATIC ${PELMORA_LOGIC_SOURCES} common/heap_native.cpp update/update_run.cpp)
target_include_directories(pelmora_logic PUBLIC ${PROJECT_SOURCE_DIR})

add_subdirectory(tests/unit)
add_subdirectory(tests/fuzz)
