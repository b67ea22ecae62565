# The floors of the program, lowest first, each with the floors it builds on directly. This is
# the one list: src/CMakeLists.txt links each floor's library with the ones named here, the
# floor check (check_floors.cmake) lets a source include from them and from what lies below
# them, and the floor_check test compares the table in docs/DESIGN.md with it.
set(yarukin_floors base data widgets help progress reminder session training settings app)
set(yarukin_floor_base_on "")
set(yarukin_floor_data_on base)
set(yarukin_floor_widgets_on base)
set(yarukin_floor_help_on widgets)
set(yarukin_floor_progress_on data widgets)
set(yarukin_floor_reminder_on data widgets)
set(yarukin_floor_session_on data widgets help)
set(yarukin_floor_training_on session)
set(yarukin_floor_settings_on session)
set(yarukin_floor_app_on training settings progress reminder)
# The floors that stand on Qt Core alone.
set(yarukin_core_floors base data)
# The windows and what they share: they reach the data directory's files only through DataDir
# and DiskWatch, never through the file layer or the system's file calls. A file the user
# names for output (a picture, standard output) goes through data/user_file.h.
set(yarukin_window_floors session training settings progress)
set(yarukin_file_layer data/safe_file.h data/folder.h data/posix.h)

# Every floor below `floor`, the ones it builds on and everything beneath them.
function(yarukin_floors_below floor out)
  set(below "")
  set(queue ${yarukin_floor_${floor}_on})
  while(queue)
    list(POP_FRONT queue next)
    if(NOT next IN_LIST below)
      list(APPEND below ${next})
      list(APPEND queue ${yarukin_floor_${next}_on})
    endif()
  endwhile()
  set(${out} ${below} PARENT_SCOPE)
endfunction()
