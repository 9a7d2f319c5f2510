# The Debian package (scripts/package): everything the install rules above place, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velk47120)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "VELK 47120 Maintainers <velk47120@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "evaluation program for the VELK 47120 digital gyroscope")
set(CPACK_PACKAGE_DESCRIPTION
    "A bench tool for the VELK 47120 digital gyroscope and its 47121 variant.
It reads the chip over an SPI adapter on the parallel port or a USB SPI card
and shows rate, angle, supply, temperature and the auxiliary ADC in
engineering units, once or in a loop, with a strip chart and datalogs.
It reads and changes the chip's configuration registers. A command-line tool
takes the same measurements in scripts. Without hardware both run against a
built-in simulated sensor.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
