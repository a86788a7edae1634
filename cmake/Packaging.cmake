# Installing and packaging orvserv, orvdb and tarnwick-sim.
#
#   | what                        | where (prefix /usr)                     |
#   |-----------------------------|-----------------------------------------|
#   | the three programs          | bin/                                    |
#   | message files msg%04x.txt   | share/orvane/                           |
#   | the HTML manual             | share/orvane/manual/%04x/               |
#   | systemd unit orvane@.service| lib/systemd/system/                     |
#   | example configuration       | /etc/orvane/example.conf (a conffile)   |
#
# The program looks for its message files and manual beside itself (the
# build tree) and then in ../share/orvane (common/string_mapper.h).
#
# cpack -G DEB (in the build directory) makes the Debian package; its
# postinst creates the system user orvane (packaging/postinst).
include(GNUInstallDirs)

set(ORV_DATA_DIR ${CMAKE_INSTALL_DATADIR}/orvane)
set(ORV_UNIT_DIR lib/systemd/system)

install(TARGETS orvserv orvdb tarnwick-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/messages/ DESTINATION ${ORV_DATA_DIR} FILES_MATCHING PATTERN "msg*.txt")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/manual/ DESTINATION ${ORV_DATA_DIR}/manual PATTERN ".keep" EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/orvane@.service DESTINATION ${ORV_UNIT_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/example.conf DESTINATION /etc/orvane)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR "Corvenet")
set(CPACK_PACKAGE_CONTACT "Corvenet <support@corvenet.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "@Orvane gateway: maintenance work requests by e-mail for Tarnwick")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Empties a POP3 mailbox into its own tables, turns mail into Tarnwick work requests and mails "
    "notices through SMTP, with an operator console served over HTTP. One systemd service "
    "orvane@NAME per Tarnwick database, configured in /etc/orvane/NAME.conf.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")

set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/postinst
    ${PROJECT_SOURCE_DIR}/packaging/prerm
    ${PROJECT_SOURCE_DIR}/packaging/postrm
    ${PROJECT_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
