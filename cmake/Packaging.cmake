# What `cmake --install` puts in place and how CPack packs it.
#
#   bin/                     Kelvane, mdlinfo, mdlconvert
#   share/doc/kelvane/       README.md, the documents of docs/ with the
#                            pictures they show (images/), and the project's
#                            licence file when it has one
#
# Packages: a .deb and a .tar.gz on Linux, a .zip of the MinGW build. Test
# programs, libraries and test data are not part of the product and are not
# installed.
include(GNUInstallDirs)

set(KELVANE_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvane")

install(TARGETS Kelvane mdlinfo mdlconvert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

file(GLOB KELVANE_DOCS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${KELVANE_DOCS} DESTINATION ${KELVANE_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images DESTINATION ${KELVANE_DOC_DIR})
foreach(licence LICENSE LICENSE.md LICENSE.txt COPYING)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${licence})
    install(FILES ${PROJECT_SOURCE_DIR}/${licence} DESTINATION ${KELVANE_DOC_DIR})
  endif()
endforeach()

set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR "Kelvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Splits MDL7 model files per mesh group; shows and converts model files to glTF")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kelvane developers")
set(CPACK_PACKAGE_INSTALL_DIRECTORY kelvane)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()

# The .deb: named as Debian names packages, with the libraries it needs
# worked out from the programs by dpkg-shlibdeps (dpkg-dev).
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "Each mesh group is moved so that the centre of its bounding box lies at the\n"
       "origin, and a text file lists the centres taken out. mdlinfo shows what a\n"
       "model file holds; mdlconvert turns MDL7 and six older model formats into\n"
       "glTF 2.0.")

include(CPack)
