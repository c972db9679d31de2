# What a Windows build needs besides the toolchain file: the Win32 headers without their min/max
# macros, the header-only packages of the host, googletest built from Debian's sources, and Wine
# to run the tests.

add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
# The POSIX spellings the portable sources use, in their Windows meaning: a descriptor that
# programs started later do not inherit, and the thread-safe time functions (localtime_r).
add_compile_definitions(O_CLOEXEC=_O_NOINHERIT _POSIX_THREAD_SAFE_FUNCTIONS)
# Programs open files in binary mode, as everywhere else: no line-end translation.
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${CMAKE_FIND_ROOT_PATH}/lib/binmode.o")

# CLI11 and nlohmann_json are header-only. find_package finds them through package files written
# here, which reach the headers through a folder that holds only them, so the host's C library
# headers stay out of the cross compiler's search path.
set(kf_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${kf_host_headers})
foreach(folder CLI nlohmann)
  if(NOT EXISTS ${kf_host_headers}/${folder})
    file(CREATE_LINK /usr/include/${folder} ${kf_host_headers}/${folder} SYMBOLIC)
  endif()
endforeach()
foreach(package_target CLI11:CLI11 nlohmann_json:nlohmann_json)
  string(REPLACE ":" ";" parts ${package_target})
  list(GET parts 0 package)
  list(GET parts 1 target)
  set(folder ${CMAKE_BINARY_DIR}/host-packages/${package})
  file(WRITE ${folder}/${package}Config.cmake
"if(NOT TARGET ${package}::${target})
  add_library(${package}::${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${package}::${target} PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${kf_host_headers}
    INTERFACE_INCLUDE_DIRECTORIES ${kf_host_headers})
endif()
")
  set(${package}_DIR ${folder} CACHE PATH "" FORCE)
endforeach()

if(KF_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  # Defines GTest::gtest, GTest::gmock and GTest::gtest_main as the host's package does.
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# Tests run through a wrapper that starts Wine in a prefix of this build, quietly.
find_program(KF_WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH
             DOC "The Wine loader for the programs of this build")
set(KF_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "The Wine prefix of the tests")
if(KF_WINE_LOADER)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine-run @ONLY CONTENT [[#!/bin/sh
# Runs a program of this build under Wine, in the build's own prefix.
export WINEPREFIX="${WINEPREFIX:-@KF_WINE_PREFIX@}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec "@KF_WINE_LOADER@" "$@"
]])
  file(CHMOD ${CMAKE_BINARY_DIR}/wine-run PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()

# kf_version_info(<target> <description>): a version resource (version, product, company,
# description) in the program or library <target>, from the project's version.
function(kf_version_info target description)
  get_target_property(type ${target} TYPE)
  set(vi_name ${target})
  set(vi_description "${description}")
  if(type STREQUAL "EXECUTABLE")
    set(vi_type VFT_APP)
    set(vi_file ${target}.exe)
  else()
    set(vi_type VFT_DLL)
    set(vi_file ${target}.dll)
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version_info.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()
