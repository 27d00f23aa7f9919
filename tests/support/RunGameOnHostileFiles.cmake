# Starts the real game from a copy of its run folder whose files are hostile:
# "Config.ini" and the part inventory are FIFOs, the cube map is a picture
# that is not square, and every score file is empty. The game must neither
# hang nor abort: it accepts the settings dialog, takes its screenshot and
# ends with exit code 0, and names the refused cube map on stderr.
#   -DGAME=<quillon> -DRUN_DIR=<run folder> -DSCRIPT=<script> -DWORK_DIR=<scratch folder>
file(REMOVE_RECURSE "${WORK_DIR}")
set(_game "${WORK_DIR}/game")
set(_saves "${WORK_DIR}/home/data/Tervalis")
file(MAKE_DIRECTORY "${_game}/Quillon" "${_game}/ScreenShot" "${_saves}")

# The game reads its data beside its executable: a copy of the executable,
# links to everything else, and the hostile files in place of some.
file(COPY "${GAME}" DESTINATION "${_game}")
file(GLOB _entries RELATIVE "${RUN_DIR}" "${RUN_DIR}/*")
foreach(_e IN LISTS _entries)
  if(NOT _e MATCHES "^(quillon|Quillon|ScreenShot|Config\\.ini)$")
    file(CREATE_LINK "${RUN_DIR}/${_e}" "${_game}/${_e}" SYMBOLIC)
  endif()
endforeach()
file(GLOB _pictures RELATIVE "${RUN_DIR}/Quillon" "${RUN_DIR}/Quillon/*")
foreach(_e IN LISTS _pictures)
  if(NOT _e STREQUAL "CubeMap.dds")
    file(CREATE_LINK "${RUN_DIR}/Quillon/${_e}" "${_game}/Quillon/${_e}" SYMBOLIC)
  endif()
endforeach()
# The logo is wider than high: no cube map.
file(COPY_FILE "${RUN_DIR}/Quillon/Logo.png" "${_game}/Quillon/CubeMap.dds")
execute_process(COMMAND mkfifo "${_game}/Config.ini" "${_saves}/vant-D" RESULT_VARIABLE _fifo)
if(NOT _fifo EQUAL 0)
  message(FATAL_ERROR "could not make the FIFOs")
endif()
foreach(_score score_ac_e.dat score_ac_n.dat score_ac_h.dat score_sv.dat)
  file(WRITE "${_saves}/${_score}" "")
endforeach()

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env
    SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null
    QUILLON_QUIET_BOXES=1 QUILLON_INPUT_SCRIPT=${SCRIPT}
    QUILLON_INSTANCE_DIR=${WORK_DIR}/home QUILLON_REGISTRY_FILE=${WORK_DIR}/home/registry.ini
    XDG_DATA_HOME=${WORK_DIR}/home/data
    ${_game}/quillon
  WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE _code
  ERROR_VARIABLE _stderr
  TIMEOUT 120)
if(NOT _code EQUAL 0)
  message(FATAL_ERROR "the game ended with ${_code}, not 0:\n${_stderr}")
endif()
file(GLOB _shots "${_game}/ScreenShot/Shot*.png")
list(LENGTH _shots _count)
if(NOT _count EQUAL 1)
  message(FATAL_ERROR "expected one screenshot, found ${_count}:\n${_stderr}")
endif()
if(NOT _stderr MATCHES "CubeMap\\.dds")
  message(FATAL_ERROR "the refused cube map was not named:\n${_stderr}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "exit code 0, one screenshot, the cube map named")
