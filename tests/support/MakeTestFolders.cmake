# Makes FOLDERS/<name> for each name: a folder a test program runs in, with
# links to everything in the run folder but the executable, the screenshots
# and the settings, which are fresh copies, so a test that saves settings or
# pictures never changes the run folder.
#   -DRUN_DIR=<run folder> -DFOLDERS=<parent folder> -DNAMES=<name;...>
file(GLOB _entries RELATIVE "${RUN_DIR}" "${RUN_DIR}/*")
foreach(_name IN LISTS NAMES)
  set(_folder "${FOLDERS}/${_name}")
  file(MAKE_DIRECTORY "${_folder}")
  foreach(_e IN LISTS _entries)
    if(_e MATCHES "^(quillon|ScreenShot|\\..*)$")
      continue()
    elseif(_e MATCHES "^(Config|server)\\.ini$")
      file(COPY_FILE "${RUN_DIR}/${_e}" "${_folder}/${_e}")
    elseif(NOT EXISTS "${_folder}/${_e}" AND NOT IS_SYMLINK "${_folder}/${_e}")
      file(CREATE_LINK "${RUN_DIR}/${_e}" "${_folder}/${_e}" SYMBOLIC)
    endif()
  endforeach()
endforeach()
