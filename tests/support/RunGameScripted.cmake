# Runs the real game from its run folder under the offscreen video driver
# with a scripted input file, and checks that it ended with exit code 0
# having written one more screenshot. Saves, the registry store and the
# single-instance lock go to a folder of the test's own, never the user's.
#   -DGAME=<quillon> -DRUN_DIR=<run folder> -DSCRIPT=<script> -DHOME_DIR=<scratch folder>
file(REMOVE_RECURSE "${HOME_DIR}")
file(MAKE_DIRECTORY "${HOME_DIR}/data")
file(GLOB _before "${RUN_DIR}/ScreenShot/Shot*.png")
list(LENGTH _before _count_before)

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env
    SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null
    QUILLON_QUIET_BOXES=1 QUILLON_INPUT_SCRIPT=${SCRIPT}
    QUILLON_INSTANCE_DIR=${HOME_DIR} QUILLON_REGISTRY_FILE=${HOME_DIR}/registry.ini
    XDG_DATA_HOME=${HOME_DIR}/data
    ${GAME}
  WORKING_DIRECTORY ${RUN_DIR}
  RESULT_VARIABLE _code
  TIMEOUT 120)
if(NOT _code EQUAL 0)
  message(FATAL_ERROR "the game ended with ${_code}, not 0")
endif()

file(GLOB _after "${RUN_DIR}/ScreenShot/Shot*.png")
list(LENGTH _after _count_after)
math(EXPR _new "${_count_after} - ${_count_before}")
if(NOT _new EQUAL 1)
  message(FATAL_ERROR "expected one new screenshot, found ${_new}")
endif()
message(STATUS "exit code 0, one screenshot written")
