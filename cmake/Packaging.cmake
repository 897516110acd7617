# Install rules and the Debian package live here.
install(TARGETS plaintrove plaintrove-strip RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plaintrove)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${PLAINTROVE_ORGANIZATION})
set(CPACK_PACKAGE_CONTACT "Orrinway <plaintrove@orrinway.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns HTML files into plain text by deleting their markup")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The package ships programs, not debugging data.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The package's name, version and architecture: plaintrove_2.0.1_amd64.deb.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The library dependencies are read from the binaries by dpkg-shlibdeps. Qt loads its platform
# plugins at run time, so nothing links them: the window could not open without that package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Metric-compatible stand-ins for the fonts the windows are designed with.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, fonts-comic-neue")
# CPack puts the summary in front and indents the lines as a control file wants them.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Plaintrove deletes the markup of a web page saved as an HTML file and writes
what is left as a text file: everything from a '<' up to the next '>' is
removed, even across lines, spaces around tags are dropped, and every line
ends in CR LF. An existing output file is replaced only when the conversion
succeeded.

The package holds the graphical program, plaintrove, and the command-line
tool plaintrove-strip, which converts one file, a pipe, or many files at once.")

include(CPack)
