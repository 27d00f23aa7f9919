# Runs the battle runner on a copy of the run folder whose first stage has an
# empty map: the runner must say why there is no battle and end with an error.
#   -DRUNNER=<quillon_battlerun> -DRUN_DIR=<run folder> -DWORK_DIR=<scratch folder>
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/war/City")
# Links to everything but the one map, which is an empty file.
function(link_all_but from to skip)
  file(GLOB _entries RELATIVE "${from}" "${from}/*")
  foreach(_e IN LISTS _entries)
    if(NOT _e STREQUAL skip)
      file(CREATE_LINK "${from}/${_e}" "${to}/${_e}" SYMBOLIC)
    endif()
  endforeach()
endfunction()
link_all_but("${RUN_DIR}" "${WORK_DIR}" "war")
link_all_but("${RUN_DIR}/war" "${WORK_DIR}/war" "City")
link_all_but("${RUN_DIR}/war/City" "${WORK_DIR}/war/City" "map.mpd")
file(WRITE "${WORK_DIR}/war/City/map.mpd" "")

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QUILLON_QUIET_BOXES=1
    ${RUNNER} --run-folder ${WORK_DIR} --stage 0 --types 0,1 --levels 1,1 --frames 60
  RESULT_VARIABLE _code
  OUTPUT_VARIABLE _out
  ERROR_VARIABLE _err
  TIMEOUT 120)
if(_code EQUAL 0)
  message(FATAL_ERROR "the runner ended with 0 on a battle without its stage:\n${_out}\n${_err}")
endif()
if(NOT _err MATCHES "no battle: .*City")
  message(FATAL_ERROR "the runner did not say why:\n${_err}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "exit code ${_code}, the stage named")
