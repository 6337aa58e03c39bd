# A 64-bit TAVO.EXE, for tests on machines that cannot run 32-bit code.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
