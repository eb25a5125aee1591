# Cross-building the program's cores for 64-bit Windows with Debian's
# MinGW-w64 (the posix thread model, for std::thread and std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QEL_MINGW_PREFIX}-windres)

# Headers and libraries come only from the cross compiler's own tree; the
# build machine's /usr/include must never be seen.
set(CMAKE_FIND_ROOT_PATH /usr/${QEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe with its runtime inside: nothing to copy beside it, under Wine or
# on a spectrometer computer.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Qt for Windows where one was built (scripts/build-qt-windows):
# -DQEL_QT_WINDOWS=~/.cache/qel/qt-6.4.2-mingw. Its tools (moc, rcc, uic)
# are the build machine's Qt of the same version.
if(QEL_QT_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QEL_QT_WINDOWS})
  list(APPEND CMAKE_PREFIX_PATH ${QEL_QT_WINDOWS})
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
