# The Debian package: `cmake --build <build> --target package` writes
# vorkel-configurator_<version>_<arch>.deb into the build folder. The install rules below are the
# whole content of the package: the configurator, its menu entry, icons, AppStream metainfo,
# vorkel-cli (the same jobs from a command line), a manual page for each and the
# documentation. The virtual sensor and the other developer tools are not installed, and
# nothing runs as root or at boot (no maintainer scripts, no services).
#
# The version is project(VERSION) in the top-level CMakeLists.txt: it names the package, the
# window caption shows it and the metainfo's release carries it.
include(GNUInstallDirs)

# The release date of project(VERSION): change both together.
set(VORKEL_RELEASE_DATE 2026-12-08)
# One name for the AppStream component, the desktop entry and the icon, so that software centres
# and the desktop tie them together (and the running window to them, see main.cpp).
set(VORKEL_APP_ID com.ketrafo.VorkelConfigurator)
set(VORKEL_PACKAGE_MAINTAINER "Vorkel configurator developers <configurator@ketrafo.example>"
    CACHE STRING "The Maintainer field of the Debian package")

set(package_source ${PROJECT_SOURCE_DIR}/resources/package)
set(package_build ${CMAKE_BINARY_DIR}/package)
set(package_doc ${CMAKE_INSTALL_DATADIR}/doc/vorkel-configurator)

target_compile_definitions(vorkel-configurator PRIVATE VORKEL_APP_ID="${VORKEL_APP_ID}")
install(TARGETS vorkel-configurator vorkel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

configure_file(${package_source}/desktop-entry.desktop.in
               ${package_build}/${VORKEL_APP_ID}.desktop @ONLY)
configure_file(${package_source}/metainfo.xml.in
               ${package_build}/${VORKEL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${package_build}/${VORKEL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${package_build}/${VORKEL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon: the SVG is the source; the PNG sizes that menus and docks ask for are rendered from
# it, so that they cannot drift apart from it.
set(icon_svg ${package_source}/vorkel-configurator.svg)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${VORKEL_APP_ID}.svg)
find_program(VORKEL_RSVG_CONVERT rsvg-convert)
if(VORKEL_RSVG_CONVERT)
  set(icon_pngs)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${package_build}/icons/${size}x${size}/${VORKEL_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${package_build}/icons/${size}x${size}
      COMMAND ${VORKEL_RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${icon_svg}
      DEPENDS ${icon_svg}
      VERBATIM)
    list(APPEND icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(vorkel_icons ALL DEPENDS ${icon_pngs})
else()
  message(STATUS "rsvg-convert is not installed: the package would carry the SVG icon only "
                 "(tools/install-deps installs librsvg2-bin)")
endif()

# The documentation: the README's sections that matter on an installed system.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/README.md ${package_source}/vorkel-configurator.1
             ${package_source}/vorkel-cli.1)
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
set(package_readme "# Vorkel configurator\n")
foreach(section "From scripts: vorkel-cli" "Serial ports on Linux" "Where things live")
  string(FIND "${readme}" "\n## ${section}\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "README.md has no section \"${section}\", which the package carries")
  endif()
  string(SUBSTRING "${readme}" ${start} -1 rest)
  string(SUBSTRING "${rest}" 1 -1 rest)
  string(FIND "${rest}" "\n## " end)
  string(SUBSTRING "${rest}" 0 ${end} text)
  string(APPEND package_readme "\n${text}")
endforeach()
file(CONFIGURE OUTPUT ${package_build}/README.md CONTENT "${package_readme}" @ONLY)

# The Debian changelog entry of this version, dated in RFC 5322 form.
function(vorkel_rfc5322_date iso_date out)
  string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" ignored "${iso_date}")
  math(EXPR year "${CMAKE_MATCH_1}")
  math(EXPR month "${CMAKE_MATCH_2}")
  math(EXPR day "${CMAKE_MATCH_3}")
  # Sakamoto's weekday: 0 is Sunday.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  if(month LESS 3)
    math(EXPR year_for_weekday "${year} - 1")
  else()
    set(year_for_weekday ${year})
  endif()
  math(EXPR month_index "${month} - 1")
  list(GET offsets ${month_index} offset)
  math(EXPR weekday "(${year_for_weekday} + ${year_for_weekday} / 4 - ${year_for_weekday} / 100 + ${year_for_weekday} / 400 + ${offset} + ${day}) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  list(GET months ${month_index} month_name)
  if(day LESS 10)
    set(day "0${day}")
  endif()
  set(${out} "${weekday_name}, ${day} ${month_name} ${year} 12:00:00 +0000" PARENT_SCOPE)
endfunction()
vorkel_rfc5322_date(${VORKEL_RELEASE_DATE} VORKEL_RELEASE_DATE_RFC2822)
configure_file(${package_source}/changelog.in ${package_build}/changelog @ONLY)

# Compressed as Debian wants them: maximum compression, no time stamp in the header.
foreach(plain ${package_build}/changelog ${package_source}/vorkel-configurator.1
              ${package_source}/vorkel-cli.1)
  get_filename_component(name ${plain} NAME)
  execute_process(COMMAND gzip -9 -n -c ${plain} OUTPUT_FILE ${package_build}/${name}.gz
                  RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${plain}")
  endif()
endforeach()
install(FILES ${package_build}/README.md ${package_build}/changelog.gz
              ${package_source}/copyright
        DESTINATION ${package_doc})
install(FILES ${package_build}/vorkel-configurator.1.gz ${package_build}/vorkel-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorkel-configurator)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VORKEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configurator for Vorkel fuel level sensors")
# Package managers show the long description's lines as they stand: under 80 characters each.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "A windowed program for service engineers who connect one Vorkel fuel level"
  "sensor to a computer through a USB to RS-485 converter. It shows the sensor's"
  "live readings, reads and writes its configuration, calibrates the tank,"
  "exports litres tables for telematics platforms and loads new firmware through"
  "the sensor's boot loader. The user interface speaks Russian, English,"
  "Portuguese and Spanish. vorkel-cli does the same jobs from scripts, on"
  "several sensors at once.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are read off the binary, whatever it was linked against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
