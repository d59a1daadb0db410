# `make package`: a Debian package of what the install rules install, under /usr, its
# dependencies found by dpkg-shlibdeps in the binaries: BUILD/quillmar_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Merrowind)
set(CPACK_PACKAGE_CONTACT "Merrowind <quillmar@merrowind.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "linear-phase equaliser: command line, LV2 plug-in and editor")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmar is a linear-phase equaliser: four band points on a live spectrum display define a smooth response curve, applied by FFT convolution with a fixed, reported latency. This package holds the quillmar command (offline rendering, the editor in a window, pictures of the editor), the LV2 plug-ins (stereo and mono) with their X11 editor and factory presets, the man page and the user guide.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
include(CPack)
