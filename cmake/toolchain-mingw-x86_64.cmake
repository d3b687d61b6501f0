# 64-bit Windows programs from the same sources, for the bulk of the Wine tests: wine64 starts them
# natively, where a 32-bit process may need an emulated loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PELMORA_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
