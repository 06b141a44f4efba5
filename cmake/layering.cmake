# The layers under the window stay free of it: engine/, reporting/ and updates/ link no Qt
# GUI or widgets library, and include nothing from app/ or display/. Checked when the build
# is configured (the link graph) and by a test (the sources' includes; run as a script).

set(PS_WINDOW_FREE_FOLDERS engine reporting updates)
set(PS_WINDOW_LIBRARIES Qt6::Widgets Qt6::Gui Qt6::WebEngineWidgets ps_app ps_display)

# Fails the configuration when target reaches one of the window's libraries through its
# link libraries, directly or through another target.
function(ps_check_link_layering target)
  set(pending ${target})
  set(seen)
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(type ${current} TYPE)
    set(links)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${current} LINK_LIBRARIES)
      if(direct)
        list(APPEND links ${direct})
      endif()
    endif()
    get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
    if(interface)
      list(APPEND links ${interface})
    endif()
    foreach(link IN LISTS links)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
      if(link IN_LIST PS_WINDOW_LIBRARIES)
        message(FATAL_ERROR "${target} links ${link} (through ${current}): the engine, the reporting and the "
                            "updates must not depend on the window")
      endif()
      list(APPEND pending ${link})
    endforeach()
  endwhile()
endfunction()

# The includes of app/ or display/ (or of Qt's widget headers) in the sources of folder;
# empty when there are none.
function(ps_window_includes source_root folder result)
  file(GLOB_RECURSE sources "${source_root}/${folder}/*.cpp" "${source_root}/${folder}/*.h")
  set(found)
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](app/|display/|QtWidgets|QWidget|QtGui|QApplication)")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH name "${source_root}" "${source}")
      list(APPEND found "${name}: ${line}")
    endforeach()
  endforeach()
  set(${result} "${found}" PARENT_SCOPE)
endfunction()

# As a script (cmake -DPS_SOURCE_ROOT=... -P layering.cmake): fails when a window-free folder
# includes the window.
if(CMAKE_SCRIPT_MODE_FILE AND PS_SOURCE_ROOT)
  set(all)
  foreach(folder IN LISTS PS_WINDOW_FREE_FOLDERS)
    ps_window_includes("${PS_SOURCE_ROOT}" ${folder} found)
    list(APPEND all ${found})
  endforeach()
  if(all)
    string(REPLACE ";" "\n  " listed "${all}")
    message(FATAL_ERROR "The engine, the reporting and the updates include the window:\n  ${listed}")
  endif()
  message(STATUS "engine/, reporting/ and updates/ include nothing of the window")
endif()
