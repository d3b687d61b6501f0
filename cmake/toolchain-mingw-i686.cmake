# 32-bit Windows programs (the shipping build) with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PELMORA_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
