# The Debian package: `cpack -G DEB` in a release build folder makes ovelta_<version>_<arch>.deb of what
# Install.cmake installs, under /usr. Library dependencies are found by dpkg-shlibdeps (Debian package dpkg-dev);
# what the program loads at run time without linking it is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovelta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Ovelta")
set(OVELTA_PACKAGE_MAINTAINER "Ovelta maintainers <maintainers@ovelta.example>" CACHE STRING
    "The Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${OVELTA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ledger of gift money (人情往来)")
# The long description; the first line of the control field is the summary above.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Ovelta records every gift of money you receive (收礼) or give (送礼) at weddings,
birthdays, funerals and the like: who, when, the relation, the occasion, the
amount and a note, and later looks up what you owe whom. Everything is kept in
one password-protected, encrypted database file. The windows are in Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION office)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin and Qt's Chinese texts of its standard buttons and dialogs. Recommended, both of them:
# the CJK face whose digits fit the windows' columns, and the face with every Han character a name may hold
# (Extension A and the general standard table's characters beyond the BMP), which draws what the first lacks.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
