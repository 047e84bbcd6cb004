# Debian packages with CPack (scripts/package.sh): libcore1 (the shared
# library and its translation), libcore-dev (headers, CMake and pkg-config
# files, the schema) and dbupdate (dbupdate with its manual page and
# translation, and curveview). Dependencies on system libraries are computed
# by dpkg-shlibdeps; the packages' versions are the project's.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME core)
set(CPACK_PACKAGE_VENDOR "Coagulation workstation team")
set(CPACK_PACKAGE_CONTACT "Coagulation workstation team <workstation-team@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Core library and database upgrade tool of the coagulation workstation")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL libcore1 libcore-dev dbupdate)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libCore is found in the build tree when the programs' dependencies are computed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/core)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

set(CPACK_DEBIAN_LIBCORE1_PACKAGE_NAME libcore1)
set(CPACK_DEBIAN_LIBCORE1_DESCRIPTION "Core library of the coagulation workstation\n Settings store over SQLite, clot curves and test results, helpers,\n message boxes and a serial-port device, with its English translation.")
# Chinese texts in message boxes need a font that covers them.
set(CPACK_DEBIAN_LIBCORE1_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")

set(CPACK_DEBIAN_LIBCORE-DEV_PACKAGE_NAME libcore-dev)
set(CPACK_DEBIAN_LIBCORE-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBCORE-DEV_PACKAGE_DEPENDS "libcore1 (= ${PROJECT_VERSION}), qt6-base-dev")
set(CPACK_DEBIAN_LIBCORE-DEV_DESCRIPTION "Development files of the coagulation workstation's Core library\n Headers, CMake package (find_package(Core)), pkg-config file (Core.pc)\n and the current schema of the three database files.")

set(CPACK_DEBIAN_DBUPDATE_PACKAGE_NAME dbupdate)
set(CPACK_DEBIAN_DBUPDATE_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_DBUPDATE_PACKAGE_DEPENDS "libcore1 (= ${PROJECT_VERSION}), libqt6sql6-sqlite")
set(CPACK_DEBIAN_DBUPDATE_DESCRIPTION "Database upgrade tool of the coagulation workstation\n dbupdate upgrades profile.db, data.db and qc.db of an older installation\n in place; curveview lists, exports and plots the stored clot curves.")

set(CPACK_STRIP_FILES ON)
# The library's package activates ldconfig through a trigger.
set(CPACK_DEBIAN_LIBCORE1_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)

# What Debian asks of every package: its copyright and a compressed changelog.
foreach(package libcore1 libcore-dev dbupdate)
  set(PKG ${package})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/${package}/changelog @ONLY)
  execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/debian/${package}/changelog)
  install(FILES ${PROJECT_BINARY_DIR}/debian/${package}/changelog.gz ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${package})
endforeach()

include(CPack)
