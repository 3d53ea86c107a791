# Install rules and the Debian package: the program, its data files, its menu entry and its
# metadata in the GNUInstallDirs layout, and CPack's DEB generator over that layout. Included
# at the end of the top CMakeLists.txt; the emulator's rule is in emulator/CMakeLists.txt.
#
# The layout is relocatable: the program looks for its panel file and logo beside itself (a
# build tree) and else in the data directory relative to its own directory (installed), never
# at an absolute path fixed at build time.
include(GNUInstallDirs)

set(NVMX_PACKAGE_MAINTAINER "Quarnet GmbH <maintainers@quarnet.example>"
    CACHE STRING "Maintainer field of the Debian package: name <e-mail>")

# Installed directories and files get the usual modes whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(NVMX_DATA_DIR ${CMAKE_INSTALL_DATADIR}/nvmxv451)
file(RELATIVE_PATH nvmx_relative_data_dir ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/nvmxv451)
target_compile_definitions(platform_engine PRIVATE NVMX_RELATIVE_DATA_DIR="${nvmx_relative_data_dir}")

# ---- The program and its data -----------------------------------------------------------------

install(TARGETS nvmxv451 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/nvmxv451.uir ${CMAKE_SOURCE_DIR}/resources/logoQN.bmp
        DESTINATION ${NVMX_DATA_DIR})

# ---- Menu entry, icon, AppStream metadata, manual pages, Debian documents (freedesktop) ------

if(UNIX AND NOT APPLE)
  set(nvmx_app_id example.quarnet.nvmxv451)
  set(packaging ${CMAKE_SOURCE_DIR}/packaging)
  install(FILES ${packaging}/${nvmx_app_id}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${packaging}/${nvmx_app_id}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The icon comes from the logo's shapes (scripts/make-icons); the PNGs are committed.
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${packaging}/icons/${size}x${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME nvmxv451.png)
  endforeach()

  # Manual pages and the changelog are installed compressed, as Debian's policy asks: gzip -n
  # keeps the name and time out of the file, so that the package comes out the same each time.
  find_program(NVMX_GZIP gzip)
  set(compressed_dir ${CMAKE_BINARY_DIR}/packaging)
  set(compressed_files)
  foreach(file nvmxv451.1 nvmxv451-sensor-emulator.1 changelog)
    if(NVMX_GZIP)
      add_custom_command(OUTPUT ${compressed_dir}/${file}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${packaging}/${file} ${compressed_dir}/${file}
        COMMAND ${NVMX_GZIP} -9nf ${compressed_dir}/${file}
        DEPENDS ${packaging}/${file}
        COMMENT "Compressing ${file}")
      list(APPEND compressed_files ${compressed_dir}/${file}.gz)
      set(${file}_installed ${compressed_dir}/${file}.gz)
    else()
      set(${file}_installed ${packaging}/${file})
    endif()
  endforeach()
  add_custom_target(packaging_files ALL DEPENDS ${compressed_files})
  install(FILES ${nvmxv451.1_installed} ${nvmxv451-sensor-emulator.1_installed}
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${packaging}/copyright ${changelog_installed} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # An example for unattended recording, for the administrator to copy and set up.
  install(FILES ${packaging}/nvmxv451-record@.service
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
  # The line service's unit, ready to enable for a line file in /etc/nvmxv451/.
  install(FILES ${packaging}/nvmxv451-line@.service DESTINATION lib/systemd/system)
endif()

# ---- The Debian package -----------------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quarnet GmbH")
set(CPACK_PACKAGE_CONTACT "${NVMX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "panel of a colour sensor on an RS-232 line")
# The extended description, in lines that stay within 80 characters as Debian's policy asks.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Nevalometrix V4.51 is the PC panel of a colour sensor on an RS-232 line."
  "It shows the live colour values (RED, GREEN, BLUE, X, Y, INT and the"
  "detected colour number), the measured colour in an X/Y colour-space graph"
  "or the selected signal in a strip chart, and edits the sensor's parameters"
  "and its colour teach table of 15 taught colours, which it sends to the"
  "sensor's RAM or EEPROM, reads back, or keeps in parameter files."
  "."
  "Headless commands (nvmxv451 check, get, send, record) check lines, read"
  "and roll out parameter sets and record on many sensors at once from a"
  "script or a service, with live telemetry to an MQTT broker."
  "."
  "A sensor emulator on a pseudo-terminal (nvmxv451-sensor-emulator) comes"
  "with it, for running the panel without the hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NVMX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quarnet.example/")
# Run-time libraries as dpkg-shlibdeps finds them from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
