# Windows: every program of the project goes into <build>/bin, and what the
# programs load at run time is copied beside them, so that they start from
# there without an installed Qt (and, built with mingw-w64, under Wine):
# the Qt DLLs, the plugins for platforms/, sqldrivers/, styles/ and
# imageformats/, and with mingw the compiler's runtime DLLs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

set(vx_runtime_commands)
foreach(module Core Gui Widgets Sql Test Network)
  if(TARGET Qt5::${module})
    list(APPEND vx_runtime_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
         $<TARGET_FILE:Qt5::${module}> ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  endif()
endforeach()

# offscreen: the tests; windows: the controller; minimal: nothing to draw on.
set(vx_plugins
    platforms:QWindowsIntegrationPlugin platforms:QOffscreenIntegrationPlugin
    platforms:QMinimalIntegrationPlugin sqldrivers:QSQLiteDriverPlugin sqldrivers:QODBCDriverPlugin
    styles:QWindowsVistaStylePlugin imageformats:QICOPlugin imageformats:QJpegPlugin
    imageformats:QGifPlugin)
foreach(entry ${vx_plugins})
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 folder)
  list(GET entry 1 plugin)
  if(TARGET Qt5::${plugin})
    list(APPEND vx_runtime_commands
         COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder}
         COMMAND ${CMAKE_COMMAND} -E copy_if_different
         $<TARGET_FILE:Qt5::${plugin}> ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${folder})
  endif()
endforeach()

if(MINGW)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
      list(APPEND vx_runtime_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${path}
           ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
    else()
      message(WARNING "${dll} of ${CMAKE_CXX_COMPILER} not found: the programs will not start")
    endif()
  endforeach()
endif()

add_custom_target(vx_windows_runtime ALL ${vx_runtime_commands}
                  COMMENT "Copying the Qt and compiler run-time files beside the programs" VERBATIM)
