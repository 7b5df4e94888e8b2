# Cross-compiles for Windows with mingw-w64 (ZEL_MINGW: the target's triplet, set by the file that
# includes this one); test executables run under Wine.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEL_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Self-contained executables: no libstdc++/libgcc/winpthread DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
