# Cross-compiles the controller for 64-bit Windows with mingw-w64 against a Qt
# built for it (scripts/build-qt-mingw.sh); test programs run under Wine.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake \
#         [-DVX_QT_MINGW_PREFIX=<Qt for mingw>]
#
# scripts/build-windows.sh does all of this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VX_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix-thread flavour: std::thread and std::mutex need it.
set(CMAKE_C_COMPILER ${VX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VX_MINGW_TRIPLE}-windres)

# Where Qt for mingw lives: the cache variable, else the environment, else the
# default of scripts/build-qt-mingw.sh. try_compile() projects read this file
# again and see only the environment, so the choice is passed on there.
if(NOT VX_QT_MINGW_PREFIX)
  if(DEFINED ENV{VX_QT_MINGW_PREFIX})
    set(VX_QT_MINGW_PREFIX $ENV{VX_QT_MINGW_PREFIX})
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(VX_QT_MINGW_PREFIX $ENV{XDG_CACHE_HOME}/veltrix/qt5-mingw64)
  else()
    set(VX_QT_MINGW_PREFIX $ENV{HOME}/.cache/veltrix/qt5-mingw64)
  endif()
endif()
set(VX_QT_MINGW_PREFIX ${VX_QT_MINGW_PREFIX} CACHE PATH "Qt 5.15 built for x86_64-w64-mingw32")
set(ENV{VX_QT_MINGW_PREFIX} ${VX_QT_MINGW_PREFIX})

set(CMAKE_FIND_ROOT_PATH /usr/${VX_MINGW_TRIPLE} ${VX_QT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs every test program through Wine.
find_program(VX_WINE NAMES wine wine64)
if(VX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VX_WINE})
endif()
