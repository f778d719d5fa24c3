# Installation layout and packages.
#
# Linux: the program lives in lib/trelmoss with its definitions file beside it, as the program
# looks for it; that file is a link to the editable copy in the system configuration folder
# (a conffile of the Debian package). sbin/trelmoss links to the program, which finds its real
# path. The systemd units, the manual page, the schema and the Prometheus alert rules come along.
# Windows: one zip with the program, its definitions file, the Windows README in CR LF, the
# license, the schema and the alert rules; scripts/windows-build.sh makes the MSI of the same.

set(TRELMOSS_PACKAGING ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(TRELMOSS_STAGING ${CMAKE_CURRENT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${TRELMOSS_STAGING})

if(WIN32)
  install(TARGETS trelmoss RUNTIME DESTINATION .)
  install(FILES ${TRELMOSS_INI} DESTINATION .)
  file(READ ${TRELMOSS_PACKAGING}/windows/README.txt readme)
  string(REPLACE "\n" "\r\n" readme "${readme}")
  file(WRITE ${TRELMOSS_STAGING}/README.txt "${readme}")
  file(READ ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE license)
  string(REPLACE "\n" "\r\n" license "${license}")
  file(WRITE ${TRELMOSS_STAGING}/LICENSE.txt "${license}")
  install(FILES ${TRELMOSS_STAGING}/README.txt ${TRELMOSS_STAGING}/LICENSE.txt
    ${TRELMOSS_PACKAGING}/trelmoss-alerts.yml
    ${CMAKE_CURRENT_SOURCE_DIR}/report/trelmoss-report.xsd DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(program_dir lib/trelmoss)
  set(config_dir ${CMAKE_INSTALL_FULL_SYSCONFDIR}/trelmoss)
  install(TARGETS trelmoss RUNTIME DESTINATION ${program_dir})
  install(FILES ${TRELMOSS_INI} DESTINATION ${config_dir})
  # Links made here and installed as links.
  file(CREATE_LINK ${config_dir}/trelmoss.ini ${TRELMOSS_STAGING}/trelmoss.ini SYMBOLIC)
  file(CREATE_LINK ../${program_dir}/trelmoss ${TRELMOSS_STAGING}/trelmoss SYMBOLIC)
  install(FILES ${TRELMOSS_STAGING}/trelmoss.ini DESTINATION ${program_dir})
  install(FILES ${TRELMOSS_STAGING}/trelmoss DESTINATION ${CMAKE_INSTALL_SBINDIR})

  # Debian wants its manual pages and changelog compressed without a time stamp.
  foreach(compressed trelmoss.8 changelog)
    add_custom_command(OUTPUT ${TRELMOSS_STAGING}/${compressed}.gz
      COMMAND gzip -9n -c ${TRELMOSS_PACKAGING}/${compressed} > ${TRELMOSS_STAGING}/${compressed}.gz
      DEPENDS ${TRELMOSS_PACKAGING}/${compressed} VERBATIM)
  endforeach()
  add_custom_target(trelmoss_documents ALL DEPENDS
    ${TRELMOSS_STAGING}/trelmoss.8.gz ${TRELMOSS_STAGING}/changelog.gz)
  install(FILES ${TRELMOSS_STAGING}/trelmoss.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/trelmoss)
  install(FILES ${TRELMOSS_STAGING}/changelog.gz ${TRELMOSS_PACKAGING}/copyright
    ${CMAKE_CURRENT_SOURCE_DIR}/report/trelmoss-report.xsd DESTINATION ${doc_dir})
  install(FILES ${TRELMOSS_PACKAGING}/trelmoss.service ${TRELMOSS_PACKAGING}/trelmoss.timer
    DESTINATION /lib/systemd/system)
  install(FILES ${TRELMOSS_PACKAGING}/trelmoss-alerts.yml
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/trelmoss)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://example.org/trelmoss)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${TRELMOSS_PACKAGING}/conffiles ${TRELMOSS_PACKAGING}/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_STRIP_FILES ON)
endif()

set(CPACK_PACKAGE_NAME trelmoss)
set(CPACK_PACKAGE_VENDOR "The Trelmoss developers")
set(CPACK_PACKAGE_CONTACT "Trelmoss developers <trelmoss@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "S.M.A.R.T. health report of every disk in one XML file")
set(CPACK_PACKAGE_DESCRIPTION "Trelmoss reads the S.M.A.R.T. health data of every physical disk of the
machine, up to 32, and writes it, with each drive's identity, into one XML
report for monitoring scripts. It sends a drive nothing but the few health
commands it needs. A systemd timer writes /var/lib/trelmoss/report.xml every
hour once enabled.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
include(CPack)
