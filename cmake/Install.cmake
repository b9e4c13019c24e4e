# The help file, the install layout, desktop integration and the Debian package.
#
# The programs find their settings and help files from their own path, so
# they are installed as a self-contained folder, <prefix>/lib/quor-renamer/,
# holding the window quor-renamer, the command line quor-rename,
# quor-renamer.chm and the same help as web pages in quor-renamer-help/;
# <prefix>/bin/quor-renamer and <prefix>/bin/quor-rename are only links to
# them. Both resolve the link (/proc/self/exe), so the help and the settings
# are looked up beside the real file, not in bin/.

set(QUOR_APP_DIR lib/quor-renamer)
# A relative link in bin/ to a program of QUOR_APP_DIR, so that the tree can
# be moved (DESTDIR, dpkg -x) intact.
set(QUOR_LINK_DIR ${CMAKE_CURRENT_BINARY_DIR}/install-link)
file(MAKE_DIRECTORY ${QUOR_LINK_DIR})
function(quor_install_link program)
  file(CREATE_LINK ../${QUOR_APP_DIR}/${program} ${QUOR_LINK_DIR}/${program} SYMBOLIC)
  install(FILES ${QUOR_LINK_DIR}/${program} DESTINATION bin)
endfunction()

# --- Command line ------------------------------------------------------------
# Built with or without the window; its manual page is compressed as Debian
# keeps them.
install(TARGETS quor-rename RUNTIME DESTINATION ${QUOR_APP_DIR})
quor_install_link(quor-rename)
set(QUOR_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/man/quor-rename.1.gz)
add_custom_command(
  OUTPUT ${QUOR_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
  COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/cli/quor-rename.1 > ${QUOR_MAN_PAGE}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cli/quor-rename.1
  VERBATIM)
add_custom_target(quor_man_page ALL DEPENDS ${QUOR_MAN_PAGE})
install(FILES ${QUOR_MAN_PAGE} DESTINATION share/man/man1)
install(FILES cli/quor-rename.bash DESTINATION share/bash-completion/completions RENAME quor-rename)

# --- Licence -----------------------------------------------------------------
# Debian wants the licence in /usr/share/doc/<package>/copyright, in its
# machine-readable form; the MIT text there is LICENSE's own.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE QUOR_LICENSE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" QUOR_COPYRIGHT "${QUOR_LICENSE}")
set(QUOR_COPYRIGHT ${CMAKE_MATCH_1})
string(FIND "${QUOR_LICENSE}" "Permission is hereby granted" QUOR_LICENSE_START)
string(SUBSTRING "${QUOR_LICENSE}" ${QUOR_LICENSE_START} -1 QUOR_LICENSE_TEXT)
string(STRIP "${QUOR_LICENSE_TEXT}" QUOR_LICENSE_TEXT)
# Continuation lines start with a space; an empty line is a lone ".".
string(REPLACE "\n\n" "\n.\n" QUOR_LICENSE_TEXT "${QUOR_LICENSE_TEXT}")
string(REPLACE "\n" "\n " QUOR_LICENSE_TEXT " ${QUOR_LICENSE_TEXT}")
configure_file(packaging/copyright.in ${CMAKE_CURRENT_BINARY_DIR}/copyright @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION share/doc/quor-renamer)

# The watch as a service of the user's own service manager. Its ExecStart
# names the installed program, under whatever prefix the install has (the
# package's /usr, or ~/.local); share/systemd/user is searched for either.
set(QUOR_WATCH_UNIT quor-rename-watch@.service)
install(CODE "
  file(READ \"${CMAKE_CURRENT_SOURCE_DIR}/packaging/${QUOR_WATCH_UNIT}\" unit)
  string(REPLACE \"/usr/bin/quor-rename\" \"\${CMAKE_INSTALL_PREFIX}/bin/quor-rename\" unit \"\${unit}\")
  file(WRITE \"${CMAKE_CURRENT_BINARY_DIR}/unit/${QUOR_WATCH_UNIT}\" \"\${unit}\")
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/systemd/user\" TYPE FILE
       FILES \"${CMAKE_CURRENT_BINARY_DIR}/unit/${QUOR_WATCH_UNIT}\")")

if(TARGET quor-renamer)
# Where the executable lands in the build tree: the help is built beside it
# so that the Help button works from the build directory too.
if(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
  set(QUOR_EXE_BUILD_DIR ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
else()
  set(QUOR_EXE_BUILD_DIR ${CMAKE_BINARY_DIR})
endif()

# --- Help file ---------------------------------------------------------------
find_program(QUOR_CHMCMD chmcmd)
find_program(QUOR_ICONV iconv)
if(QUOR_CHMCMD AND QUOR_ICONV)
  set(QUOR_HELP_FILE ${QUOR_EXE_BUILD_DIR}/quor-renamer.chm)
  file(GLOB QUOR_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/help/*)
  add_custom_command(
    OUTPUT ${QUOR_HELP_FILE}
    COMMAND ${CMAKE_COMMAND}
            -DSOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR}/help
            -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/help
            -DOUTPUT=${QUOR_HELP_FILE}
            -DCHMCMD=${QUOR_CHMCMD}
            -DICONV=${QUOR_ICONV}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/Help.cmake
    DEPENDS ${QUOR_HELP_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/Help.cmake
    COMMENT "Compiling the help file quor-renamer.chm"
    VERBATIM)
  add_custom_target(quor_help ALL DEPENDS ${QUOR_HELP_FILE})
  install(FILES ${QUOR_HELP_FILE} DESTINATION ${QUOR_APP_DIR})
else()
  # A developer's build may go without it; a package never does (see
  # packaging/CPackProject.cmake), since the Install table promises it.
  set(CPACK_QUOR_HELP_MISSING
      "chmcmd (Debian package fp-utils) was not found when the build was configured, so the help file "
      "quor-renamer.chm was not built and the package would lack it. Install fp-utils "
      "(scripts/packages.sh lists it with the build packages), configure again and build: "
      "cmake -S . -B build && cmake --build build")
  string(REPLACE ";" "" CPACK_QUOR_HELP_MISSING "${CPACK_QUOR_HELP_MISSING}")
  message(STATUS "chmcmd (Debian package fp-utils) not found: "
                 "the help file quor-renamer.chm is not built and not installed, and no package can be made")
  install(CODE "message(STATUS \"The help file quor-renamer.chm was not built (no chmcmd): not installed\")")
endif()

# The pages for a browser, for desktops without a CHM viewer. They need no
# tools, so every build has them, the program's own target included.
set(QUOR_HELP_HTML_DIR ${QUOR_EXE_BUILD_DIR}/quor-renamer-help)
file(GLOB QUOR_HELP_PAGES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/help/*.html ${CMAKE_CURRENT_SOURCE_DIR}/help/*.css)
add_custom_command(
  OUTPUT ${QUOR_HELP_HTML_DIR}/index.html
  COMMAND ${CMAKE_COMMAND}
          -DSOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR}/help
          -DHTML_DIR=${QUOR_HELP_HTML_DIR}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/Help.cmake
  DEPENDS ${QUOR_HELP_PAGES} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/Help.cmake
  COMMENT "Writing the help pages to quor-renamer-help/"
  VERBATIM)
add_custom_target(quor_help_html ALL DEPENDS ${QUOR_HELP_HTML_DIR}/index.html)
add_dependencies(quor-renamer quor_help_html)
install(DIRECTORY ${QUOR_HELP_HTML_DIR} DESTINATION ${QUOR_APP_DIR})

# --- Program -----------------------------------------------------------------
install(TARGETS quor-renamer RUNTIME DESTINATION ${QUOR_APP_DIR})
quor_install_link(quor-renamer)

# --- Desktop integration -----------------------------------------------------
install(FILES packaging/quor-renamer.desktop DESTINATION share/applications)
install(FILES packaging/io.github.quor.QuorRenamer.metainfo.xml DESTINATION share/metainfo)

set(QUOR_ICON_SVG ${CMAKE_CURRENT_SOURCE_DIR}/gui/window/icons/quor-renamer.svg)
# The small sizes have their own drawing on a 16 px grid; scaling the large
# one down blurs its lines.
set(QUOR_ICON_SVG_SMALL ${CMAKE_CURRENT_SOURCE_DIR}/gui/window/icons/quor-renamer-16.svg)
if(NOT EXISTS ${QUOR_ICON_SVG_SMALL})
  set(QUOR_ICON_SVG_SMALL ${QUOR_ICON_SVG})
endif()
find_program(QUOR_RSVG_CONVERT rsvg-convert)
if(NOT EXISTS ${QUOR_ICON_SVG})
  message(WARNING "${QUOR_ICON_SVG} is missing: no application icon is installed")
elseif(QUOR_RSVG_CONVERT)
  install(FILES ${QUOR_ICON_SVG} DESTINATION share/icons/hicolor/scalable/apps)
  set(QUOR_ICON_PNGS "")
  foreach(size 16 24 32 48 64 128 256)
    if(size EQUAL 16)
      set(svg ${QUOR_ICON_SVG_SMALL})
    else()
      set(svg ${QUOR_ICON_SVG})
    endif()
    set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/quor-renamer.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${QUOR_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
      DEPENDS ${svg}
      VERBATIM)
    list(APPEND QUOR_ICON_PNGS ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(quor_icons ALL DEPENDS ${QUOR_ICON_PNGS})
else()
  install(FILES ${QUOR_ICON_SVG} DESTINATION share/icons/hicolor/scalable/apps)
  message(STATUS "rsvg-convert (Debian package librsvg2-bin) not found: "
                 "only the scalable application icon is installed")
endif()

endif()  # the window

# --- Debian package ----------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quor-renamer)
set(CPACK_PACKAGE_VENDOR "Quor Renamer developers")
set(CPACK_PACKAGE_CONTACT "Quor Renamer developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch renamer for Japanese recording file names")
set(CPACK_PACKAGE_DESCRIPTION
    "Quor Renamer renames the entries of one folder in one batch. It is made for\n"
    "Japanese recording names with an episode number and a title in corner\n"
    "brackets: it turns half-width brackets into full-width ones, puts in or\n"
    "takes out the space before the title, cuts broadcast marks after the title,\n"
    "lower-cases extensions and applies a user-edited replace list. Every rename\n"
    "is logged, an existing file is never overwritten, and the last run can be\n"
    "undone. The user interface and the help are in Japanese.\n"
    "The command quor-rename applies the same rules, settings and history from\n"
    "a shell, a script or a recorder's after-recording command, without a\n"
    "display.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds the library packages with the versions the binary
# needs (the Qt 6 ones among them); without it, name the Qt runtime at least.
find_program(QUOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUOR_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
elseif(TARGET quor-renamer)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6, libqt6gui6, libqt6core6")
endif()
# xdg-open is how the help reaches the desktop: the .chm when a CHM viewer is
# there, else the help's web pages in the browser. The rest are a CHM viewer
# and a font that has the Japanese of the window.
# bash loads the completion of quor-rename only through bash-completion.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "xdg-utils, xchm | kchmviewer, fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic, bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/packaging/CPackProject.cmake)
include(CPack)
