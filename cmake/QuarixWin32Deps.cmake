# The Win32 host's libraries, built from Debian's source packages by
# tools/win32-deps.sh into one prefix that every Win32 build tree shares:
#   Soxr::soxr  libsoxr.dll, copied beside the programs by the soxr_dll target
#   FLAC::FLAC  libFLAC, static
set(QUARIX_WIN32_DEPS ${CMAKE_SOURCE_DIR}/build/win32-deps/prefix CACHE PATH
    "Prefix of the Win32 libraries (tools/win32-deps.sh)")
set(_deps ${QUARIX_WIN32_DEPS})
if(NOT EXISTS ${_deps}/bin/libsoxr.dll OR NOT EXISTS ${_deps}/lib/libFLAC.a)
  message(FATAL_ERROR "Win32 libraries not found in ${_deps}: run tools/win32-deps.sh")
endif()

add_library(Soxr::soxr SHARED IMPORTED GLOBAL)
set_target_properties(Soxr::soxr PROPERTIES
  IMPORTED_LOCATION ${_deps}/bin/libsoxr.dll
  IMPORTED_IMPLIB ${_deps}/lib/libsoxr.dll.a
  INTERFACE_INCLUDE_DIRECTORIES ${_deps}/include
  INTERFACE_COMPILE_DEFINITIONS SOXR_DLL)

# Not FLAC's own package file: it asks for Ogg even in a build without it.
add_library(FLAC::FLAC STATIC IMPORTED GLOBAL)
set_target_properties(FLAC::FLAC PROPERTIES
  IMPORTED_LOCATION ${_deps}/lib/libFLAC.a
  INTERFACE_INCLUDE_DIRECTORIES ${_deps}/include
  INTERFACE_COMPILE_DEFINITIONS FLAC__NO_DLL)

# A program that links Soxr::soxr depends on this target so the DLL it loads
# sits beside it in bin/.
add_custom_command(OUTPUT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/libsoxr.dll
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_deps}/bin/libsoxr.dll ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/
  DEPENDS ${_deps}/bin/libsoxr.dll
  COMMENT "Copying libsoxr.dll beside the programs")
add_custom_target(soxr_dll ALL DEPENDS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/libsoxr.dll)
unset(_deps)
