# The Debian package of the console tool: /usr/bin/yrnupdate, the package
# tool /usr/bin/yrnpack and their docs. Depends takes libcrypto's package
# (libssl3) from the binaries (SHLIBDEPS).
# cpack -G DEB in a build tree (scripts/release.sh) writes
# yrnupdate_<version>_amd64.deb; with SOURCE_DATE_EPOCH set, every date in it
# is that one.
include(GNUInstallDirs)
install(TARGETS yrnupdate yrnpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md docs/console.md docs/packages.ru.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/yrnupdate)

set(CPACK_PACKAGE_NAME yrnupdate)
set(CPACK_PACKAGE_VENDOR Quenbrit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "installs and rolls back updates of the ЮКСВЕЛ filling-station suite")
set(CPACK_PACKAGE_DESCRIPTION "The console build of YRNUpdate: installs an update package of the
executable files of the ЮКСВЕЛ point-of-sale suite with a backup set of every
file it replaces, and rolls such a set back. For development, automation and
tests; the stations run YRNUpdate.exe. With it comes yrnpack, which checks,
hashes and signs update packages for the stations.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "YRNUpdate developers")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR DEB)
include(CPack)
