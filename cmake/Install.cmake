# Install rules (`cmake --install`, FHS paths under CMAKE_INSTALL_PREFIX), all
# in the component `tavril`, which cmake/Package.cmake makes the package of.
include(GNUInstallDirs)

# The package's own revision of the project's version (1.02-1).
set(TAVRIL_DEBIAN_RELEASE 1)
set(TAVRIL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TAVRIL_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${TAVRIL_PACKAGING_OUT})

# `input` with @PROJECT_VERSION@ filled in, compressed as Debian wants it
# (gzip -9n: no name, no time, the same bytes every build) into `output`.
function(tavril_configure_gzipped input output)
  get_filename_component(name ${input} NAME)
  configure_file(${input} ${TAVRIL_PACKAGING_OUT}/${name} @ONLY)
  execute_process(COMMAND gzip -9n -c ${TAVRIL_PACKAGING_OUT}/${name}
                  OUTPUT_FILE ${output} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# The programs. The file checker is not for users: it goes to libexec, where
# FindFileCheckProgram (src/files/isolated_check.h) looks from bin/.
if(TARGET tavril)
  install(TARGETS tavril RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tavril)
endif()
install(TARGETS tavril-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tavril)
install(TARGETS tavril-check-file RUNTIME DESTINATION libexec/tavril COMPONENT tavril)
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin")
  message(FATAL_ERROR "The programs find tavril-check-file in ../libexec/tavril from bin/")
endif()

# The help pages, which the program takes from ../share/tavril/Aide when its
# start directory has none.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/resources/Aide
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tavril COMPONENT tavril)

# The desktop: menu entry, file types, icons, AppStream metadata.
set(TAVRIL_APP_ID org.tavril.Tavril)
install(FILES ${TAVRIL_PACKAGING_DIR}/${TAVRIL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tavril)
install(FILES ${TAVRIL_PACKAGING_DIR}/tavril-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME tavril.xml COMPONENT tavril)
configure_file(${TAVRIL_PACKAGING_DIR}/${TAVRIL_APP_ID}.metainfo.xml
               ${TAVRIL_PACKAGING_OUT}/${TAVRIL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${TAVRIL_PACKAGING_OUT}/${TAVRIL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT tavril)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icons/tavril-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tavril.png COMPONENT tavril)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icons/tavril.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT tavril)

# Manual pages, in French, and tavril-cli's completion from its option table.
foreach(page tavril.1 tavril-cli.1)
  tavril_configure_gzipped(${TAVRIL_PACKAGING_DIR}/${page} ${TAVRIL_PACKAGING_OUT}/${page}.gz)
  install(FILES ${TAVRIL_PACKAGING_OUT}/${page}.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tavril)
endforeach()
install(FILES ${TAVRIL_CLI_COMPLETION}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT tavril)

# The licence and the notices of what is compiled in, and the changelog.
tavril_configure_gzipped(${TAVRIL_PACKAGING_DIR}/changelog
                         ${TAVRIL_PACKAGING_OUT}/changelog.Debian.gz)
install(FILES ${TAVRIL_PACKAGING_DIR}/copyright ${TAVRIL_PACKAGING_OUT}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tavril)
