# `cmake --install`: the native player with its manual page and bash
# completion. The sanitizer build is for the tests and installs nothing.
if(NOT WIN32 AND NOT QUARIX_SANITIZE AND TARGET quarix-render)
  include(GNUInstallDirs)
  install(TARGETS quarix-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quarix-render.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quarix-render.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quarix-render)
endif()
