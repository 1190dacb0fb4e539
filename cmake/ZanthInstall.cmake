# Installation and the Debian package: the service object with a versioned SONAME, the
# control-object library with its headers and pkg-config file, the tools, the udev rule,
# the default registry and the service object's registration.
include(GNUInstallDirs)
# Installing and packaging take what was built; they never start a build themselves (the
# package test runs cpack while the other tests run).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(ZANTH_REGISTRY_DEFAULT /etc/opos/registry.reg)

set_target_properties(ZanthSO PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
# Loaded by path through its registration, never linked: no development link.
install(TARGETS ZanthSO LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)

if(TARGET ZanthCO)
  install(TARGETS ZanthCO LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/co/ControlObject.h ${PROJECT_SOURCE_DIR}/co/POSPrinter.h
                ${PROJECT_SOURCE_DIR}/co/CashDrawer.h ${PROJECT_SOURCE_DIR}/co/CommonProperties.inc
                ${PROJECT_SOURCE_DIR}/co/PrinterProperties.inc ${PROJECT_SOURCE_DIR}/co/CashDrawerProperties.inc
                ${PROJECT_SOURCE_DIR}/so/base/OposConstants.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zanth)
  install(FILES ${PROJECT_SOURCE_DIR}/platform/include/platform/com.h
                ${PROJECT_SOURCE_DIR}/platform/include/platform/wintypes.h
                ${PROJECT_SOURCE_DIR}/platform/include/platform/wtext.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zanth/platform)
  # Relocatable: the prefix is found from where the .pc file lies.
  file(RELATIVE_PATH ZANTH_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/zanth.pc.in ${PROJECT_BINARY_DIR}/zanth.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/zanth.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

foreach(program zanth zanth-sim zanth-reg zanth-demo)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
# The setup tool and its "Language.ini" are installed by setup/gui.

install(FILES ${PROJECT_SOURCE_DIR}/udev/60-zanth-receipt-printers.rules
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/udev/rules.d)

# Installing for real creates the registry and registers the service object; into a
# staging folder (DESTDIR, as packaging does) that is left to the package's scripts.
configure_file(${CMAKE_CURRENT_LIST_DIR}/ZanthPostInstall.cmake.in
               ${PROJECT_BINARY_DIR}/ZanthPostInstall.cmake @ONLY)
install(SCRIPT ${PROJECT_BINARY_DIR}/ZanthPostInstall.cmake)

# Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zanth)
set(CPACK_PACKAGE_VENDOR "Zanth")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OPOS service object for ESC/POS receipt printers and cash drawers")
set(CPACK_PACKAGE_CONTACT "Zanth developers <zanth@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(ZANTH_PACKAGE_BINDIR ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR})
foreach(script postinst prerm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${script}.in ${PROJECT_BINARY_DIR}/packaging/${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/postinst ${PROJECT_BINARY_DIR}/packaging/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
