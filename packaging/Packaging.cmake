# What `cmake --install` puts on a machine and how `cpack -G DEB` packs it. The command
# finds its library and its plugins relative to itself, so an installed tree works
# wherever it is unpacked:
#   bin/zentaro
#   lib/zentaro/libzentaro-suite.so
#   lib/zentaro/plugins/QX417.so
#   lib/systemd/system/zentaro-global-invoice@.{service,timer}
#   share/applications/zentaro.desktop, share/icons/hicolor/scalable/apps/zentaro.svg
#   share/doc/zentaro/{README.md,global-invoice.conf.example}

set(ZENTARO_INSTALL_LIBDIR lib/zentaro)
set_target_properties(zentaro_app PROPERTIES INSTALL_RPATH "$ORIGIN/../${ZENTARO_INSTALL_LIBDIR}")
set_target_properties(zentaro PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(QX417 PROPERTIES INSTALL_RPATH "$ORIGIN/..")

install(TARGETS zentaro_app RUNTIME DESTINATION bin)
install(TARGETS zentaro LIBRARY DESTINATION ${ZENTARO_INSTALL_LIBDIR} NAMELINK_SKIP)
install(TARGETS QX417 LIBRARY DESTINATION ${ZENTARO_INSTALL_LIBDIR}/plugins)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/zentaro.desktop DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zentaro.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/systemd/zentaro-global-invoice@.service
              ${CMAKE_CURRENT_LIST_DIR}/systemd/zentaro-global-invoice@.timer
        DESTINATION lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/systemd/global-invoice.conf.example
        DESTINATION share/doc/zentaro)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zentaro)
set(CPACK_PACKAGE_VENDOR Zentaro)
set(CPACK_PACKAGE_CONTACT "Zentaro <soporte@zentaro.example.mx>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Suite de facturación CFDI 4.0: factura global SAT")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Zentaro reúne las notas de venta no facturadas de una sucursal y moneda en la factura global del SAT, "
       "la timbra, la imprime y la envía por correo. Incluye la orden zentaro global-invoice y un temporizador "
       "de systemd, desactivado, que la ejecuta cada noche.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)   # the debugging symbols stay in the build
# Loaded at run time, so dpkg-shlibdeps cannot see them: the Qt database drivers, Qt's SVG
# plugin (the window icon), Qt's own Spanish texts (buttons and dialogs), the fonts of the
# printed invoice, and adduser for the service account.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, libqt6svg6, qt6-translations-l10n, fonts-dejavu-core, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
