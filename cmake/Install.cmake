# `cmake --install`: the programs, the password components where the platform looks for
# them (lib/quorvex beside bin), the demo show, the man pages, the xscreensaver settings
# file, and the desktop and MIME files. The hack finds the demo at share/quorvex/demo.qdm
# relative to its bin folder, so the tree works under any prefix and DESTDIR.
install(TARGETS quorvex quorvex-show quorvex-xscreensaver RUNTIME DESTINATION bin)
install(TARGETS qv_password_cpl qv_mpr_dll LIBRARY DESTINATION lib/quorvex)
install(FILES ${CMAKE_BINARY_DIR}/demo/demo.qdm DESTINATION share/quorvex)
install(FILES share/man/quorvex.1 share/man/quorvex-show.1 DESTINATION share/man/man1)
install(FILES share/man/quorvex-xscreensaver.6 DESTINATION share/man/man6)
install(FILES share/xscreensaver/quorvex.xml DESTINATION share/xscreensaver/config)
install(FILES share/mime/quorvex.xml DESTINATION share/mime/packages)
install(FILES share/applications/quorvex.desktop DESTINATION share/applications)
# The settings entry names the installed demo show by its full path under the prefix.
install(CODE "
  set(QV_INSTALLED_DEMO \"\${CMAKE_INSTALL_PREFIX}/share/quorvex/demo.qdm\")
  configure_file(\"${PROJECT_SOURCE_DIR}/share/applications/quorvex-settings.desktop.in\"
                 \"${CMAKE_BINARY_DIR}/quorvex-settings.desktop\" @ONLY)
  file(INSTALL \"${CMAKE_BINARY_DIR}/quorvex-settings.desktop\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\")
")
