cmake_minimum_required(VERSION 3.25)
# The floor check against small trees: a clean one passes, and every way of reaching a floor
# above, Qt beyond Qt Core in the two Qt Core floors, or the files past DataDir from a window,
# fails.
#   cmake -DCHECK=<check_floors.cmake> -DQT_CORE_DIR=<dir> -DWORK=<scratch dir> -P this file
function(tree name)
  file(REMOVE_RECURSE ${WORK}/${name})
  foreach(dir base data widgets session training settings)
    file(MAKE_DIRECTORY ${WORK}/${name}/${dir})
  endforeach()
  file(WRITE ${WORK}/${name}/data/gymm.h "#include \"base/cp932.h\"\n#include <QString>\n")
  file(WRITE ${WORK}/${name}/base/cp932.h "#include <QtCore/QByteArray>\n#include <cstring>\n")
  file(WRITE ${WORK}/${name}/settings/frmsettei.h "#include \"session/session.h\"\n#include <QWidget>\n")
  file(WRITE ${WORK}/${name}/training/frmmain.h
       "#include \"widgets/controls.h\"\n// the window was open (a comment, not a call)\n")
  file(WRITE ${WORK}/${name}/widgets/controls.h "#include <QLabel>\n")
  file(WRITE ${WORK}/${name}/session/session.h "#include \"data/gymm.h\"\n")
  file(WRITE ${WORK}/${name}/data/safe_file.h "#include <sys/stat.h>\nint f() { return ::fstat(0, 0); }\n")
endfunction()

function(expect name should_pass)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK}/${name} -DQT_CORE_DIR=${QT_CORE_DIR}
                          -P ${CHECK}
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
  if(should_pass AND NOT result EQUAL 0)
    message(SEND_ERROR "${name}: the check refused a clean tree:\n${error}")
  elseif(NOT should_pass AND result EQUAL 0)
    message(SEND_ERROR "${name}: the check let it through")
  endif()
endfunction()

tree(clean)
expect(clean TRUE)

set(cases
  "training/frmmain.h|#include \"settings/frmsettei.h\""
  "training/frmmain.h|#include <settings/frmsettei.h>"
  "training/frmmain.h|#include \"../settings/frmsettei.h\""
  "training/frmmain.h|#include \"training/../settings/frmsettei.h\""
  "data/gymm.h|#include \"widgets/controls.h\""
  "data/gymm.h|#include <QWidget>"
  "data/gymm.h|#include <QtWidgets/qwidget.h>"
  "base/cp932.h|#include <qwidget.h>"
  "base/cp932.h|#include \"data/gymm.h\""
  "settings/frmsettei.h|#include \"data/safe_file.h\""
  "training/frmmain.h|#define G ::fstatat(3, \"x\", nullptr, 0)"
  "session/session.h|  auto fd = open(\"x\", 0)"
  "settings/frmsettei.h|QFileSystemWatcher* watcher")
set(n 0)
foreach(case IN LISTS cases)
  math(EXPR n "${n} + 1")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 file)
  list(GET parts 1 include)
  tree(case${n})
  file(APPEND ${WORK}/case${n}/${file} "${include}\n")
  expect(case${n} FALSE)
endforeach()

# The table of floors in docs/DESIGN.md says what floors.cmake says: each floor's folder and the
# floors it builds on.
if(DESIGN)
  get_filename_component(cmake_dir ${CHECK} DIRECTORY)
  include(${cmake_dir}/floors.cmake)
  file(STRINGS ${DESIGN} rows REGEX "^\\| [^|]+ \\| `src/")
  set(documented "")
  foreach(row IN LISTS rows)
    string(REPLACE "|" ";" cells "${row}")
    list(GET cells 2 folders)
    list(GET cells 3 on)
    string(REGEX MATCHALL "src/[a-z]+" folders "${folders}")
    string(REGEX MATCHALL "[a-z]+" on "${on}")
    foreach(folder IN LISTS folders)
      string(REPLACE "src/" "" floor "${folder}")
      list(APPEND documented ${floor})
      set(listed ${yarukin_floor_${floor}_on})
      list(SORT listed)
      list(SORT on)
      if(NOT floor IN_LIST yarukin_floors)
        message(SEND_ERROR "docs/DESIGN.md names a floor ${floor} that floors.cmake lacks")
      elseif(NOT "${listed}" STREQUAL "${on}")
        message(SEND_ERROR "docs/DESIGN.md: ${floor} builds on '${on}', floors.cmake says '${listed}'")
      endif()
    endforeach()
  endforeach()
  foreach(floor IN LISTS yarukin_floors)
    if(NOT floor IN_LIST documented)
      message(SEND_ERROR "docs/DESIGN.md's table lacks the floor ${floor}")
    endif()
  endforeach()
endif()
