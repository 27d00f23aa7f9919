# Runs the real game from a run folder of its own under the offscreen video
# driver with a scripted input file, and checks that it ended with exit code
# 0 having written one screenshot. Saves, the registry store and the
# single-instance lock go to that folder too, never the user's, and the
# build's run folder is left as the build made it.
#   -DGAME=<quillon> -DRUN_DIR=<run folder> -DSCRIPT=<script> -DHOME_DIR=<scratch folder>
file(REMOVE_RECURSE "${HOME_DIR}")
set(_game "${HOME_DIR}/game")
file(MAKE_DIRECTORY "${HOME_DIR}/data" "${_game}")
# The game keeps its settings and screenshots beside its executable: a copy
# of the executable, links to the data.
file(COPY "${GAME}" DESTINATION "${_game}")
file(GLOB _entries RELATIVE "${RUN_DIR}" "${RUN_DIR}/*")
foreach(_e IN LISTS _entries)
  if(_e MATCHES "^(quillon|ScreenShot)$")
    continue()
  elseif(_e MATCHES "^(Config|server)\\.ini$")
    file(COPY_FILE "${RUN_DIR}/${_e}" "${_game}/${_e}")
  else()
    file(CREATE_LINK "${RUN_DIR}/${_e}" "${_game}/${_e}" SYMBOLIC)
  endif()
endforeach()

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env
    SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null
    QUILLON_QUIET_BOXES=1 QUILLON_INPUT_SCRIPT=${SCRIPT}
    QUILLON_INSTANCE_DIR=${HOME_DIR} QUILLON_REGISTRY_FILE=${HOME_DIR}/registry.ini
    XDG_DATA_HOME=${HOME_DIR}/data
    ${_game}/quillon
  WORKING_DIRECTORY ${_game}
  RESULT_VARIABLE _code
  TIMEOUT 120)
if(NOT _code EQUAL 0)
  message(FATAL_ERROR "the game ended with ${_code}, not 0")
endif()

file(GLOB _shots "${_game}/ScreenShot/Shot*.png")
list(LENGTH _shots _count)
if(NOT _count EQUAL 1)
  message(FATAL_ERROR "expected one new screenshot, found ${_count}")
endif()
message(STATUS "exit code 0, one screenshot written")
