# What `cmake --install` (and so each package) puts where. On Windows
# everything sits in one folder, the demo beside the exe, so that a
# double-click shows it; elsewhere the usual bin/ and share/ layout, with the
# manual pages, copyright and changelog a Debian package carries. The
# importer's own rule is in src/import/CMakeLists.txt.
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
if(WIN32)
  install(TARGETS tilemap-viewer RUNTIME DESTINATION .)
  install(FILES $<TARGET_RUNTIME_DLLS:tilemap-viewer> ${PROJECT_SOURCE_DIR}/demo/final.png
                ${PROJECT_SOURCE_DIR}/demo/main.json DESTINATION .)
  install(FILES ${packaging}/README-windows.txt DESTINATION . RENAME README.txt)
  # A map in the editor's format to drop onto the importer.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/demo/editor DESTINATION .)
  # The web site the importer's --site copies its page from (built by scripts/build-web.sh).
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/build-web/site/ DESTINATION web OPTIONAL)
  # The libraries built into the exes and DLLs come with their licences
  # (Debian's copyright files, which scripts/build-windows-deps.sh keeps).
  file(GLOB licences ${TILEMAP_WINDOWS_DEPS}/share/licenses/*.txt)
  if(licences)
    install(FILES ${licences} DESTINATION licenses)
  endif()
else()
  include(GNUInstallDirs)
  install(TARGETS tilemap-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/demo/final.png ${PROJECT_SOURCE_DIR}/demo/main.json
          DESTINATION ${CMAKE_INSTALL_DATADIR}/tilemap-viewer/demo OPTIONAL)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/demo/editor DESTINATION ${CMAKE_INSTALL_DATADIR}/tilemap-viewer/demo)
  # The web site the importer's --site copies its page from (built by scripts/build-web.sh).
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/build-web/site/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tilemap-viewer/web
          OPTIONAL)

  # Manual pages and changelog compressed as Debian wants them: gzip -9, with
  # no name or time stamp inside, so the same text gives the same bytes.
  # Done when configuring; a change to a source file configures again.
  set(compressed ${CMAKE_BINARY_DIR}/packaging)
  file(MAKE_DIRECTORY ${compressed})
  foreach(name tilemap-viewer.1 tilemap-import.1 changelog)
    execute_process(COMMAND gzip -9nc INPUT_FILE ${packaging}/${name}
                    OUTPUT_FILE ${compressed}/${name}.gz RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip ${packaging}/${name}: ${status}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${packaging}/${name})
  endforeach()
  install(FILES ${compressed}/tilemap-viewer.1.gz ${compressed}/tilemap-import.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Named after the package, not the project (tilemap_viewer).
  install(FILES ${packaging}/copyright ${compressed}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tilemap-viewer)
endif()
