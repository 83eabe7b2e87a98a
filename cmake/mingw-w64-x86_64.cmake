# 64-bit Windows programs: for x64 Windows without 32-bit support, and for machines whose
# kernel cannot execute 32-bit code, where only 64-bit Wine runs.
set(PORTLOOK_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
