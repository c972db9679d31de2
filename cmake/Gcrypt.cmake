# kf_gcrypt: libgcrypt for the signatures of update files. Linux links the system's shared
# library; the Windows programs link mingw-w64's static one (and libgpg-error's), so they need no
# DLL beyond those they had.
if(TARGET kf_gcrypt)
  return()
endif()
add_library(kf_gcrypt INTERFACE)
if(WIN32)
  find_library(KF_GCRYPT_STATIC NAMES libgcrypt.a REQUIRED)
  find_library(KF_GPG_ERROR_STATIC NAMES libgpg-error.a REQUIRED)
  find_path(KF_GCRYPT_INCLUDE gcrypt.h REQUIRED)
  target_include_directories(kf_gcrypt INTERFACE ${KF_GCRYPT_INCLUDE})
  target_link_libraries(kf_gcrypt INTERFACE ${KF_GCRYPT_STATIC} ${KF_GPG_ERROR_STATIC} ws2_32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(KF_GCRYPT REQUIRED IMPORTED_TARGET libgcrypt)
  target_link_libraries(kf_gcrypt INTERFACE PkgConfig::KF_GCRYPT)
endif()
