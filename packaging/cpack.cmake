# Release packages: a zip for Windows, a .deb for Debian (scripts/package.sh).
set(CPACK_PACKAGE_NAME tilemap-viewer)
set(CPACK_PACKAGE_VENDOR "The tilemap-viewer developers")
set(CPACK_PACKAGE_CONTACT "Tilemap Viewer Developers <tilemap-viewer@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer and importer for layered 2-D tile maps")
# Lines within 80 columns (Debian's rule for a package description); an
# empty line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION [=[tilemap-viewer shows a map of up to three tile layers (main.json) drawn
from a tileset image (final.png) in a window, and scrolls over it with the
arrow keys.

tilemap-import turns a map saved by a tile-map editor, in its XML (TMX)
or JSON format, into those two files, and can open the viewer on them.]=])
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# Directories as Debian wants them whatever the umask of whoever packages.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  # The library packages the binaries need, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The changelog's latest entry names the version being packaged.
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog latest LIMIT_COUNT 1)
  if(NOT latest MATCHES "^tilemap-viewer \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: its first entry is not for ${PROJECT_VERSION}: ${latest}")
  endif()
endif()
include(CPack)
