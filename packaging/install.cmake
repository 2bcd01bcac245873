# What `cmake --install` (and so each package) puts where. On Windows
# everything sits in one folder, the demo beside the exe, so that a
# double-click shows it; elsewhere the usual bin/ and share/ layout, with the
# manual pages, copyright and changelog a Debian package carries. The
# importer's own rule is in src/import/CMakeLists.txt.
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
if(WIN32)
  install(TARGETS tilemap-viewer RUNTIME DESTINATION .)
  install(FILES $<TARGET_RUNTIME_DLLS:tilemap-viewer> ${PROJECT_SOURCE_DIR}/demo/final.png
                ${PROJECT_SOURCE_DIR}/demo/main.json ${PROJECT_SOURCE_DIR}/demo/view.json
                ${PROJECT_SOURCE_DIR}/demo/overview.png DESTINATION .)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/demo/zoom DESTINATION .)
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
  # So do the compiler's run-time libraries linked into both exes: mingw-w64's
  # C runtime and winpthreads, and GCC's libgcc and libstdc++, named after
  # their Debian sources as the others are.
  foreach(runtime mingw-w64:mingw-w64-x86-64-dev gcc-mingw-w64:gcc-mingw-w64-x86-64-posix)
    string(REPLACE ":" ";" runtime ${runtime})
    list(GET runtime 0 source)
    list(GET runtime 1 package)
    install(FILES /usr/share/doc/${package}/copyright DESTINATION licenses RENAME ${source}.txt)
  endforeach()
else()
  include(GNUInstallDirs)
  install(TARGETS tilemap-viewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/demo/final.png ${PROJECT_SOURCE_DIR}/demo/main.json
                ${PROJECT_SOURCE_DIR}/demo/view.json ${PROJECT_SOURCE_DIR}/demo/overview.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/tilemap-viewer/demo OPTIONAL)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/demo/zoom DESTINATION ${CMAKE_INSTALL_DATADIR}/tilemap-viewer/demo)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/demo/editor DESTINATION ${CMAKE_INSTALL_DATADIR}/tilemap-viewer/demo)
  # The web site the importer's --site copies its page from (built by scripts/build-web.sh).
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/build-web/site/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tilemap-viewer/web
          OPTIONAL)
  install(FILES ${packaging}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME tilemap-viewer)

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

  # Stripped for a package (CPack strips), the programs also lose the
  # compiler's notes, as dh_strip does for Debian's own. Both are installed
  # by now: the importer's rule comes with its folder, added earlier.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program tilemap-viewer tilemap-import)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
endif()
