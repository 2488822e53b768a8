# What `cmake --install` puts where, and the packages CPack makes of it.
# Every program of the project is installed with what belongs to it: its
# manual page docs/<program>.1 and its bash completion
# completions/<program>.bash, where the build has them.
#
# POSIX systems: the usual tree below the prefix (bin/, share/man/man1/,
# share/bash-completion/completions/, the example archives in
# share/doc/arcdig/examples/); `cpack -G DEB` makes arcdig_<version>_<arch>.deb.
# Windows: one flat folder (the programs, readme.txt, examples\);
# `cpack -G ZIP` makes arcdig-<version>-win64.zip. scripts/package makes both.
include(GNUInstallDirs)

set(ARCDIG_PROGRAMS arcdig)
if(TARGET arcpack)
  list(APPEND ARCDIG_PROGRAMS arcpack)
endif()
file(GLOB ARCDIG_EXAMPLE_ARCHIVES ${PROJECT_SOURCE_DIR}/examples/*.slf)

if(WIN32)
  install(TARGETS ${ARCDIG_PROGRAMS} RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/readme.txt DESTINATION .)
  install(FILES ${ARCDIG_EXAMPLE_ARCHIVES} DESTINATION examples)
else()
  install(TARGETS ${ARCDIG_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${ARCDIG_EXAMPLE_ARCHIVES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
  # Manual pages go in compressed, as Debian keeps them (gzip -n: no name or
  # time inside, so the same page gives the same bytes).
  find_program(ARCDIG_GZIP gzip)
  foreach(program IN LISTS ARCDIG_PROGRAMS)
    set(page ${PROJECT_SOURCE_DIR}/docs/${program}.1)
    if(EXISTS ${page} AND ARCDIG_GZIP)
      set(packed ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
      add_custom_command(OUTPUT ${packed}.gz
                         COMMAND ${CMAKE_COMMAND} -E copy ${page} ${packed}
                         COMMAND ${ARCDIG_GZIP} -9nf ${packed}
                         DEPENDS ${page}
                         COMMENT "Compressing the manual page of ${program}")
      add_custom_target(${program}_manual_page ALL DEPENDS ${packed}.gz)
      install(FILES ${packed}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    elseif(EXISTS ${page})
      install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
    set(completion ${PROJECT_SOURCE_DIR}/completions/${program}.bash)
    if(EXISTS ${completion})
      install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
              RENAME ${program})
    endif()
  endforeach()
endif()

set(CPACK_PACKAGE_NAME arcdig)
set(CPACK_PACKAGE_VENDOR "the arcdig authors")
set(CPACK_PACKAGE_CONTACT "arcdig authors <arcdig@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list, extract and pack the files of JA2 SLF archives")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME arcdig-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # Depends: from the libraries the programs link (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION
      "arcdig lists and extracts the files stored in SLF archives, the library archives of the game JA2, \
by name patterns with the wildcards * and ?. arcpack packs a folder into an SLF archive the game can load, \
and checks existing archives.")
endif()
include(CPack)
