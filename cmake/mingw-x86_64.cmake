# Cross-compiles for 64-bit Windows, for machines whose kernel runs no 32-bit program (Wine then
# cannot start a 32-bit exe): the same sources, tests under Wine's 64-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEL_MINGW x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
