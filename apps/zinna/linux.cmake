# zinna for Linux desktops: the program, its installation under a prefix (cmake --install), and a
# Debian package (cpack): /usr/bin/zinna, the character and the wallpaper in /usr/share/zinna, the
# menu entry, her icon in the hicolor theme and the AppStream metainfo.
include(GNUInstallDirs)
find_program(ZINNA_RSVG_CONVERT rsvg-convert)

add_executable(zinna main_linux.cpp)
target_link_libraries(zinna PRIVATE zinna_program zinna_linux_x11 zinna_linux_desktop zinna_journal zinna_cli)

install(TARGETS zinna RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES linux/zinna.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(linux/io.github.zinna.Zinna.metainfo.xml ${CMAKE_CURRENT_BINARY_DIR}/io.github.zinna.Zinna.metainfo.xml
               @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/io.github.zinna.Zinna.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

if(ZINNA_BUILD_ART)
  # The character and the wallpaper the art build draws, where the program looks for them.
  install(FILES ${CMAKE_BINARY_DIR}/windows-dir/zinna.acs ${CMAKE_BINARY_DIR}/windows-dir/LH1024x768.bmp
          DESTINATION ${CMAKE_INSTALL_DATADIR}/zinna)
  add_dependencies(zinna zinna-windows-dir)
  # Her icon: her resting frame from the drawing, at the theme's usual sizes.
  set(icon_style ${CMAKE_BINARY_DIR}/art/frame-styles/rest.css)
  set(zinna_icons)
  foreach(size 48 128 256)
    set(icon ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}/zinna.png)
    add_custom_command(
      OUTPUT ${icon}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}
      COMMAND ${ZINNA_RSVG_CONVERT} --stylesheet ${icon_style} -w ${size} -h ${size} --output ${icon}
              ${PROJECT_SOURCE_DIR}/art/zinna/zinna.svg
      DEPENDS ${PROJECT_SOURCE_DIR}/art/zinna/zinna.svg ${icon_style}
      COMMENT "Drawing her ${size}x${size} icon"
      VERBATIM)
    list(APPEND zinna_icons ${icon})
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(zinna-icons ALL DEPENDS ${zinna_icons})
endif()

# `cpack` in the build folder (or the `package` target): zinna_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zinna)
set(CPACK_PACKAGE_VENDOR "Zinna")
set(CPACK_PACKAGE_CONTACT "Zinna developers <zinna@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop companion: a lantern fairy on top of your desktop")
set(CPACK_PACKAGE_DESCRIPTION "Zinna flies across the screen, dances on the panel, blows kisses and offers a
right-click menu. While she runs the desktop wears the look of Lantern Hall; when she quits the
user's own wallpaper and desktop colour come back.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# The libraries' packages come from the binary's own links (dpkg-shlibdeps); the libraries it opens
# when first used are named here: Xft for her words and GIO (libglib2.0-0) for the desktops' settings
# are needed, PulseAudio only for her sounds, so it is recommended; the font is read by name through
# fontconfig, so it is named too.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, libxft2, libglib2.0-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, libpulse0")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
