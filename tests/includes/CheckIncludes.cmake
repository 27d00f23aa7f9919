# Fails when product code reaches up a tier or past the platform door.
#   cmake -DROOT=<source tree> -P CheckIncludes.cmake
# Tiers, bottom to top: platform, engine, app, the battle simulation (battle,
# robot, script, weapon: one tier whose folders include each other freely),
# frontend, online. A quoted include may name its own tier or one below.
# app/main/ is the entry point and sees every tier; tools/ and tests/ are
# not product code and are not walked.
# The libraries of the operating system, graphics, sound and codecs, and the
# platform headers that hand out their objects, are included only under
# platform/; Dear ImGui also by the settings dialogs.
cmake_minimum_required(VERSION 3.25)
if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source tree> -P CheckIncludes.cmake")
endif()
get_filename_component(ROOT "${ROOT}" ABSOLUTE)

set(_rank_platform 0)
set(_rank_engine 1)
set(_rank_app 2)
set(_rank_battle 3)
set(_rank_robot 3)
set(_rank_script 3)
set(_rank_weapon 3)
set(_rank_frontend 4)
set(_rank_online 5)
set(_folders platform engine app battle robot script weapon frontend online)
set(_door_libraries "SDL|GL/|AL/|vorbis/|ogg/|png\\.h|ft2build\\.h|freetype|imgui")
set(_imgui_users "app/core/SettingsDialog.cpp")
# Headers that hand out the system's own objects, for platform/ alone.
set(_platform_internal "platform/gfx/NativeWindow.h" "platform/input/RawEvents.h")

# The tier rank of a path relative to ROOT, or empty outside every tier.
function(tier_rank path out)
  set(rank "")
  string(REGEX MATCH "^[^/]+" top "${path}")
  if(top AND DEFINED _rank_${top})
    set(rank ${_rank_${top}})
  endif()
  if(path MATCHES "^app/main/")
    set(rank 99)
  endif()
  set(${out} "${rank}" PARENT_SCOPE)
endfunction()

set(_faults 0)
foreach(folder IN LISTS _folders)
  if(NOT IS_DIRECTORY "${ROOT}/${folder}")
    continue()
  endif()
  file(GLOB_RECURSE _files RELATIVE "${ROOT}" "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.hpp"
       "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.inl")
  list(SORT _files)
  foreach(file IN LISTS _files)
    tier_rank("${file}" from)
    get_filename_component(dir "${file}" DIRECTORY)
    file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
        set(target "${CMAKE_MATCH_1}")
        # A path that is not from the root is resolved beside the file.
        if(NOT EXISTS "${ROOT}/${target}" AND EXISTS "${ROOT}/${dir}/${target}")
          get_filename_component(abs "${ROOT}/${dir}/${target}" ABSOLUTE)
          file(RELATIVE_PATH target "${ROOT}" "${abs}")
        endif()
        tier_rank("${target}" to)
        if(NOT to STREQUAL "" AND to GREATER from)
          message(SEND_ERROR "${file}: includes \"${target}\", a tier above its own")
          math(EXPR _faults "${_faults} + 1")
        elseif(target IN_LIST _platform_internal AND NOT folder STREQUAL "platform")
          message(SEND_ERROR "${file}: includes \"${target}\", which only platform/ may use")
          math(EXPR _faults "${_faults} + 1")
        endif()
      elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
        set(target "${CMAKE_MATCH_1}")
        if(target MATCHES "^(${_door_libraries})" AND NOT folder STREQUAL "platform")
          if(target MATCHES "^imgui" AND file IN_LIST _imgui_users)
            continue()
          endif()
          message(SEND_ERROR "${file}: includes <${target}>, which only platform/ may use")
          math(EXPR _faults "${_faults} + 1")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(_faults GREATER 0)
  message(FATAL_ERROR "${_faults} include(s) break the tier rules")
endif()
message(STATUS "every include goes down the tiers")
