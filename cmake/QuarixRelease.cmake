# What makes a build fit to ship: the version header the programs print, and
# the flags that give an optimised build the same bytes wherever and whenever
# it is built (tools/release.sh builds twice to check).

configure_file(${CMAKE_CURRENT_LIST_DIR}/quarix_version.h.in ${CMAKE_BINARY_DIR}/generated/quarix_version.h @ONLY)
add_library(quarix_version INTERFACE)
target_include_directories(quarix_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

# No build path in the output (__FILE__, debug information): files are named
# relative to the tree. The last matching map wins, so the build tree, which
# usually lies inside the source tree, comes second. Debug builds keep full
# paths for the debugger and the sanitizer reports.
add_compile_options(
  "$<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
  "$<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")

if(WIN32)
  # PE headers without the link time: the COFF header's and the export
  # directory's stamps stay zero.
  add_link_options(-Wl,--no-insert-timestamp)
endif()

if(NOT WIN32)
  # Debian's hardening for the programs users run: checked string and memory
  # calls, and every relocation resolved and read-only before main.
  add_compile_definitions($<$<CONFIG:Release>:_FORTIFY_SOURCE=2>)
  add_link_options($<$<CONFIG:Release>:LINKER:-z,relro,-z,now>)
endif()
