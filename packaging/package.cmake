# `make package`: a Debian package of the installed files, built by CPack. Its dependencies come
# from dpkg-shlibdeps over the installed binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessane)
set(CPACK_PACKAGE_VENDOR "The Tessane developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "resize and convert image files in batches")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessane copies and resizes image files in batches: a window where pictures are\n\
gathered by file dialog, folder chooser, drag and drop or paste, and\n\
tessane-cli, which runs the same batches from scripts. Pictures in 43 file\n\
extensions are read; outputs are written as JPEG, PNG, GIF, EMF, BMP or\n\
JPEG 2000.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TESSANE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its platform plug-ins at run time, so shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme")
# Only what `install()` puts under the prefix; the packaged files are owned by root.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_THREADS 0)
include(CPack)
