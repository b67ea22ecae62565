cmake_policy(SET CMP0057 NEW) # IN_LIST
# Fails when a source includes from a floor above its own (see src/CMakeLists.txt), or when
# a source of the two Qt Core floors includes a Qt header from outside Qt Core.
#   cmake -DSOURCE_DIR=<src> -DQT_CORE_DIR=<the QtCore header directory> -P check_floors.cmake
set(below_base "")
set(below_data base)
set(below_widgets base)
set(below_help base widgets)
set(below_session base data widgets help)
set(below_training base data widgets help session)
set(below_settings base data widgets help session)
set(below_progress base data widgets)
set(below_app base data widgets help session training settings progress)
set(core_only base data)

if(NOT IS_DIRECTORY "${QT_CORE_DIR}")
  message(FATAL_ERROR "No Qt Core header directory given (QT_CORE_DIR=${QT_CORE_DIR})")
endif()

set(problems "")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" floor "${source}")
  if(NOT DEFINED below_${floor})
    continue() # a file outside the floors
  endif()
  set(allowed ${floor} ${below_${floor}})
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^/\"]+)/[^\"]+\"")
      if(NOT CMAKE_MATCH_1 IN_LIST allowed)
        list(APPEND problems "${source}: ${line} (the ${floor} floor builds on ${below_${floor}})")
      endif()
    elseif(floor IN_LIST core_only AND line MATCHES "#[ \t]*include[ \t]*<(Qt[A-Za-z]*/)?(Q[A-Za-z0-9_]+)>")
      set(module "${CMAKE_MATCH_1}")
      set(header "${CMAKE_MATCH_2}")
      if((module AND NOT module STREQUAL "QtCore/") OR
         (NOT module AND NOT EXISTS ${QT_CORE_DIR}/${header}))
        list(APPEND problems "${source}: ${line} (the ${floor} floor uses Qt Core alone)")
      endif()
    endif()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "Includes against the floors:\n  ${text}")
endif()
