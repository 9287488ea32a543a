# The win32 thread model, for the shipped program only: it needs no
# winpthreads, whose imports (GetTickCount64, AddVectoredExceptionHandler, ...)
# would keep QMXSET.EXE from starting on the older systems it installs for.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-w64-mingw32.cmake)
set(CMAKE_C_COMPILER ${QMX_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${QMX_TRIPLE}-g++-win32)
