# Windows programs from Linux: MinGW-w64 (posix threads), statically linked, with test
# programs run under Wine through our wrapper. The width's toolchain file names the processor
# (i686 or x86_64) in PORTLOOK_MINGW_PROCESSOR and includes this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${PORTLOOK_MINGW_PROCESSOR})

set(PORTLOOK_MINGW_TRIPLE ${PORTLOOK_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${PORTLOOK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PORTLOOK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PORTLOOK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PORTLOOK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# wine-run picks the 32- or 64-bit Wine loader from each program's own header.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
