# Fails when a source includes a folder its layer may not use, or when the
# core includes Qt. Each folder of the core is also a library linking only
# the ones below it (src/CMakeLists.txt), which catches calls; this check
# catches what linking cannot: a header alone, and Qt. Dependencies run one
# way, from the bottom up:
#
#   text                       locale-free numbers, times, sizes, encodings, error texts
#   model                      records, configuration record, allocation, the user port
#   files, config              file formats (config: TAVRIL.INI, on top of files)
#   processing, display,       the subsystems, side by side: none includes another
#   acquisition
#   acquisition/comedi         real boards, and the program's set of boards
#   session                    the whole session in one file (files and display)
#   ui/common                  what every window shares (Qt from here up)
#   ui/<subsystem>             each subsystem's windows, side by side
#   ui/app                     the main window and the program
#   tools                      tavril-cli: the core and the boards, no Qt
#
# Run with -DSOURCE_DIR=<project>/src -DTOOLS_DIR=<project>/tools.
cmake_minimum_required(VERSION 3.25)
set(core text model files config processing display acquisition acquisition/comedi session)
set(allowed_text text)
set(allowed_model text model)
set(allowed_files text model files)
set(allowed_config text model files config)
set(allowed_processing text model processing)
set(allowed_display text model files display)
set(allowed_acquisition text model acquisition)
set(allowed_acquisition/comedi text model acquisition acquisition/comedi)
set(allowed_session text model files display session)
set(allowed_ui/common ${core} ui/common)
foreach(subsystem display acquisition processing config)
  set(allowed_ui/${subsystem} ${core} ui/common ui/${subsystem})
endforeach()
set(allowed_ui/app ${core} ui/common ui/display ui/acquisition ui/processing ui/config ui/app)
set(allowed_tools ${core})
set(folders acquisition/comedi ui/common ui/display ui/acquisition ui/processing ui/config ui/app
            text model files config processing display acquisition session)

# The folder (a key above) that `path`, relative to src/, belongs to.
function(folder_of path result)
  foreach(folder IN LISTS folders)
    if(path MATCHES "^${folder}/")
      set(${result} ${folder} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${result} "" PARENT_SCOPE)
endfunction()

set(offenders "")
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
file(GLOB_RECURSE tool_sources "${TOOLS_DIR}/*.h" "${TOOLS_DIR}/*.cpp")
foreach(source IN LISTS sources tool_sources)
  if(IS_ABSOLUTE "${source}")
    set(folder tools)
    set(path "${source}")
  else()
    folder_of("${source}" folder)
    set(path "${SOURCE_DIR}/${source}")
  endif()
  if(folder STREQUAL "")
    continue()
  endif()
  file(STRINGS "${path}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    if(line MATCHES "#[ \t]*include[ \t]*[<\"](Qt|Q[A-Z]|qt)" AND NOT folder MATCHES "^ui/")
      list(APPEND offenders "${source} includes Qt (${line})")
    endif()
    if(NOT line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      continue()
    endif()
    folder_of("${CMAKE_MATCH_1}" included)
    if(NOT included STREQUAL "" AND NOT included IN_LIST allowed_${folder})
      list(APPEND offenders "${source} (${folder}) includes ${CMAKE_MATCH_1} (${included})")
    endif()
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " text)
  message(FATAL_ERROR "A folder includes one its layer may not use:\n  ${text}")
endif()
