# Release packages: a zip for Windows, a .deb for Debian (scripts/package.sh).
set(CPACK_PACKAGE_NAME tilemap-viewer)
set(CPACK_PACKAGE_VENDOR "The tilemap-viewer developers")
set(CPACK_PACKAGE_CONTACT "The tilemap-viewer developers <tilemap-viewer@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Viewer for layered 2-D tile maps")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows a map of up to three tile layers (main.json) drawn from a tileset image (final.png) and scrolls over it with the arrow keys.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  # The library packages the binary needs, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
