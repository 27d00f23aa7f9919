# Runs the battle runner on a battle that is over long before the frames
# asked for: its wall-clock line must count, and divide, the frames played.
#   -DRUNNER=<quillon_battlerun>
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QUILLON_QUIET_BOXES=1
    ${RUNNER} --stage 1 --types 8,9 --levels 10,10 --seed 3 --frames 36000 --every 100000
  RESULT_VARIABLE _code
  OUTPUT_VARIABLE _out
  ERROR_VARIABLE _err
  TIMEOUT 280)
if(NOT _code EQUAL 0)
  message(FATAL_ERROR "the runner failed (${_code}):\n${_out}\n${_err}")
endif()
if(NOT _out MATCHES "ended at frame ([0-9]+)")
  message(FATAL_ERROR "the battle did not end early:\n${_out}\n${_err}")
endif()
math(EXPR _played "${CMAKE_MATCH_1} - 1")
if(NOT _err MATCHES "([0-9]+) frames in ([0-9.]+) s: ([0-9.]+) frames/s")
  message(FATAL_ERROR "no wall-clock line:\n${_err}")
endif()
set(_counted ${CMAKE_MATCH_1})
set(_seconds ${CMAKE_MATCH_2})
set(_rate ${CMAKE_MATCH_3})
if(NOT _counted EQUAL _played)
  message(FATAL_ERROR "the wall-clock line counts ${_counted} frames, the battle played ${_played}:\n${_err}")
endif()
# The rate is the frames played over the seconds, give or take the rounding
# of the printed seconds (cmake's math is integer: compare in thousandths).
string(REPLACE "." "" _ms "${_seconds}")
math(EXPR _ms "${_ms}")
string(REGEX REPLACE "\\..*" "" _rate_whole "${_rate}")
if(_ms GREATER 20)
  math(EXPR _expected "${_played} * 1000 / ${_ms}")
  math(EXPR _low "${_expected} * 9 / 10")
  math(EXPR _high "${_expected} * 11 / 10 + 1")
  if(_rate_whole LESS _low OR _rate_whole GREATER _high)
    message(FATAL_ERROR "${_rate} frames/s is not ${_played} frames over ${_seconds} s:\n${_err}")
  endif()
endif()
message(STATUS "${_played} frames played and counted")
