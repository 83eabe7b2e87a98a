# 32-bit Windows programs: the build Portlook ships first, which runs on 32- and 64-bit Windows.
set(PORTLOOK_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
