# What both Windows toolchains share; KF_MINGW_TRIPLET names the target.
set(CMAKE_C_COMPILER ${KF_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KF_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KF_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KF_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs and libraries carry the compiler's run-time libraries inside, so a Windows user
# copies nothing beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
