# The one rule that picks the sources of the system being built: a `foo_win32.cpp` beside
# `foo.cpp` replaces it in a Windows build and is left out of every other; a `_win32.cpp` with no
# sibling is Windows-only. Sources named after UNIX_ONLY have no Windows side and are left out of
# a Windows build.
#
# kf_system_sources(<out-var> [files...] [UNIX_ONLY files...])
#   Without files, all *.cpp of the current source folder are candidates.
function(kf_system_sources out)
  cmake_parse_arguments(ARG "" "" "UNIX_ONLY" ${ARGN})
  set(candidates ${ARG_UNPARSED_ARGUMENTS})
  if(NOT candidates)
    file(GLOB candidates CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  set(unix_only)
  foreach(file IN LISTS ARG_UNIX_ONLY)
    get_filename_component(path ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND unix_only ${path})
  endforeach()

  set(chosen)
  foreach(file IN LISTS candidates)
    get_filename_component(path ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    string(REGEX REPLACE "\\.cpp$" "" stem ${path})
    if(stem MATCHES "_win32$")
      string(REGEX REPLACE "_win32$" "" sibling ${stem})
      if(WIN32 AND NOT EXISTS ${sibling}.cpp)
        list(APPEND chosen ${path})
      endif()
    elseif(WIN32 AND EXISTS ${stem}_win32.cpp)
      list(APPEND chosen ${stem}_win32.cpp)
    elseif(NOT (WIN32 AND path IN_LIST unix_only))
      list(APPEND chosen ${path})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES chosen)
  set(${out} ${chosen} PARENT_SCOPE)
endfunction()
