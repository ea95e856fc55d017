# SPDX-License-Identifier: Apache-2.0
# Debian packages (`make package`, cpack -G DEB): kelvo-driver (the driver, its pcscd handler and units, kelvo-cli)
# and kelvo-central (the application). Each install() names its component; the publisher's tool belongs to
# neither package. The documents every package carries (copyright, changelog) and the man pages and shell
# completion are installed here.

set(KELVO_PACKAGE_CONTACT "Kelvo Central developers <central@kelvo.example>")
set(KELVO_PACKAGE_DATE "Fri, 11 Dec 2026 00:00:00 +0000")
set(_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(_packaging_out ${PROJECT_BINARY_DIR}/packaging)

# Man pages and the changelogs are installed compressed, as Debian keeps them.
find_program(KELVO_GZIP gzip REQUIRED)
function(kelvo_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${KELVO_GZIP} -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()

set(_packaging_files)
foreach(page kelvo-central.1:central kelvo-cli.1:driver kelvo-driver.8:driver kelvo-pcsc-readers.8:driver)
  string(REPLACE ":" ";" page ${page})
  list(GET page 0 name)
  list(GET page 1 component)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${name})
  kelvo_gzip(${_packaging_dir}/man/${name} ${_packaging_out}/man/${name}.gz)
  list(APPEND _packaging_files ${_packaging_out}/man/${name}.gz)
  install(FILES ${_packaging_out}/man/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
          COMPONENT ${component})
endforeach()

install(FILES ${_packaging_dir}/completion/kelvo-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        COMPONENT driver)

foreach(package kelvo-central kelvo-driver)
  configure_file(${_packaging_dir}/debian/copyright ${_packaging_out}/${package}/copyright COPYONLY)
  set(KELVO_PACKAGE ${package})
  configure_file(${_packaging_dir}/debian/changelog.in ${_packaging_out}/${package}/changelog @ONLY)
  kelvo_gzip(${_packaging_out}/${package}/changelog ${_packaging_out}/${package}/changelog.gz)
  kelvo_gzip(${PROJECT_SOURCE_DIR}/NEWS.md ${_packaging_out}/${package}/NEWS.md.gz)
  list(APPEND _packaging_files ${_packaging_out}/${package}/changelog.gz ${_packaging_out}/${package}/NEWS.md.gz)
  string(REPLACE "kelvo-" "" component ${package})
  install(FILES ${_packaging_out}/${package}/copyright ${_packaging_out}/${package}/changelog.gz
                ${_packaging_out}/${package}/NEWS.md.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  foreach(script postinst prerm postrm)
    if(EXISTS ${_packaging_dir}/debian/${package}.${script})
      file(MAKE_DIRECTORY ${_packaging_out}/${package}/control)
      configure_file(${_packaging_dir}/debian/${package}.${script} ${_packaging_out}/${package}/control/${script}
                     @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
    endif()
  endforeach()
endforeach()
# The tutorial's links lead to the README, which the application's package carries.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/install.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvo-central COMPONENT central)
add_custom_target(kelvo-packaging-files ALL DEPENDS ${_packaging_files})

# The autostart entry lives under /etc and is the administrator's to change.
file(WRITE ${_packaging_out}/kelvo-central/control/conffiles "${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart/kelvo-central.desktop\n")

set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VENDOR "Kelvo")
set(CPACK_PACKAGE_CONTACT ${KELVO_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kelvo.example/central")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL central driver)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DRIVER_PACKAGE_NAME kelvo-driver)
set(CPACK_COMPONENT_DRIVER_DESCRIPTION "driver for Kelvo Bluetooth smart-card readers
kelvo-driver finds Kelvo and Pentaloq smart-card readers through BlueZ,
encrypts the link to each and serves them to Kelvo Central and, through its
IFD handler, to pcscd, so that smart-card programs see the cards. It runs as
a hardened system service under its own user. kelvo-cli reaches the readers
from the shell.")
set(CPACK_DEBIAN_DRIVER_PACKAGE_DEPENDS "systemd, init-system-helpers (>= 1.54~), dbus")
set(CPACK_DEBIAN_DRIVER_PACKAGE_RECOMMENDS "bluez, pcscd")
set(CPACK_DEBIAN_DRIVER_PACKAGE_CONTROL_EXTRA
    "${_packaging_out}/kelvo-driver/control/postinst;${_packaging_out}/kelvo-driver/control/prerm;${_packaging_out}/kelvo-driver/control/postrm")

set(CPACK_DEBIAN_CENTRAL_PACKAGE_NAME kelvo-central)
set(CPACK_COMPONENT_CENTRAL_DESCRIPTION "desktop companion for Kelvo Bluetooth smart-card readers
Kelvo Central lives in the system tray and shows every reader with its card,
battery, USB cable, encryption and signal; it changes the readers' settings
and working times, warns when a battery runs low, locks the session when the
logon card leaves its reader, keeps the readers' firmware current, pairs the
USB Bridge dongle and changes or unblocks the card's PIN.")
set(CPACK_DEBIAN_CENTRAL_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_CENTRAL_PACKAGE_DEPENDS "udev, fonts-wqy-microhei")
set(CPACK_DEBIAN_CENTRAL_PACKAGE_RECOMMENDS
    "kelvo-driver (= ${PROJECT_VERSION}), opensc, opensc-pkcs11, qttranslations5-l10n")
set(CPACK_DEBIAN_CENTRAL_PACKAGE_CONTROL_EXTRA
    "${_packaging_out}/kelvo-central/control/postinst;${_packaging_out}/kelvo-central/control/postrm;${_packaging_out}/kelvo-central/control/conffiles")

include(CPack)
