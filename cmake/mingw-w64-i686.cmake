# 32-bit Windows programs: the product as specified, for 32- and 64-bit Windows.
set(PORTLOOK_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
