# The posix thread model: GoogleTest needs std::mutex, which the win32 model
# lacks. QMXSET.EXE itself is built with the win32 model, in a tree of its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QMX_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QMX_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QMX_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QMX_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QMX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
set(QMX_SHIPPED_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-w64-mingw32-win32.cmake)
