# Runs the include checker over small trees of one file each and fails when
# it lets an upward or door-breaking include through, or stops a sound one.
#   cmake -DCHECKER=<CheckIncludes.cmake> -DWORK=<scratch folder> -P CheckerCases.cmake
cmake_minimum_required(VERSION 3.25)

# file | include line | PASS or FAIL
set(_cases
  "engine/core/A.h|#include \"platform/core/Types.h\"|PASS"
  "engine/core/A.cpp|#include \"engine/graphics/B.h\"|PASS"
  "engine/core/A.cpp|#include \"app/core/Application.h\"|FAIL"
  "engine/core/A.h|  #  include \"app/core/GameSettings.h\"|FAIL"
  "platform/gfx/A.cpp|#include \"engine/core/TaskList.h\"|FAIL"
  "app/scene/A.cpp|#include \"battle/GameScene.h\"|FAIL"
  "battle/A.cpp|#include \"robot/actions/B.h\"|PASS"
  "weapon/effects/A.cpp|#include \"script/commands/B.h\"|PASS"
  "robot/A.cpp|#include \"frontend/select/B.h\"|FAIL"
  "frontend/hangar/A.cpp|#include \"online/room/B.h\"|FAIL"
  "online/room/A.cpp|#include \"frontend/vsroom/B.h\"|PASS"
  "app/main/Main.cpp|#include \"online/Hooks.h\"|PASS"
  "app/net/A.cpp|#include \"robot/Robot.h\"|FAIL"
  "engine/sound/A.cpp|#include \"../../app/core/B.h\"|FAIL"
  "engine/sound/A.cpp|#include <vorbis/vorbisfile.h>|FAIL"
  "platform/audio/A.cpp|#include <vorbis/vorbisfile.h>|PASS"
  "battle/A.cpp|#include <SDL.h>|FAIL"
  "app/core/SettingsDialog.cpp|#include <imgui.h>|PASS"
  "app/scene/A.cpp|#include <imgui.h>|FAIL"
  "engine/core/A.cpp|#include <vector>|PASS"
  "engine/graphics/A.cpp|#include \"platform/gfx/NativeWindow.h\"|FAIL"
  "platform/core/A.cpp|#include \"platform/gfx/NativeWindow.h\"|PASS"
)

set(_failures 0)
set(_n 0)
foreach(case IN LISTS _cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 path)
  list(GET parts 1 line)
  list(GET parts 2 expected)
  math(EXPR _n "${_n} + 1")
  set(tree "${WORK}/case${_n}")
  file(REMOVE_RECURSE "${tree}")
  file(WRITE "${tree}/${path}" "${line}\n")
  # The relative case needs its target to exist, as a compiler would.
  file(WRITE "${tree}/app/core/B.h" "")
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${tree} -P ${CHECKER}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc EQUAL 0)
    set(got PASS)
  else()
    set(got FAIL)
    if(NOT err MATCHES "${path}")
      message(SEND_ERROR "case ${_n}: the report does not name ${path}:\n${err}")
      math(EXPR _failures "${_failures} + 1")
    endif()
  endif()
  if(NOT got STREQUAL expected)
    message(SEND_ERROR "case ${_n}: ${path} with '${line}': expected ${expected}, got ${got}\n${err}")
    math(EXPR _failures "${_failures} + 1")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
if(_failures GREATER 0)
  message(FATAL_ERROR "${_failures} of ${_n} checker cases went wrong")
endif()
