# 64-bit Windows build of the same sources. It is not shipped: it lets the
# test suite run under 64-bit Wine on machines whose kernel cannot execute
# 32-bit programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PERIMAND_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
