# Installing, the desktop integration files and the Debian package. Included from the top-level
# CMakeLists.txt after the targets exist, so everything here stays in one place.
include(GNUInstallDirs)

set(QUORVEX_ICON_SIZES 16 22 24 32 48 64 128 256)
set(QUORVEX_DATA_DIR ${CMAKE_INSTALL_DATADIR}/quorvex)

find_program(RSVG_CONVERT rsvg-convert REQUIRED) # librsvg2-bin
find_program(SCDOC scdoc REQUIRED)

# The installed program finds its data relative to itself, so an install into any prefix (or a
# DESTDIR staging tree) works without rebuilding.
# The window program is no command of its own: it lives in libexec, where the command finds it.
set(QUORVEX_LIBEXEC_DIR ${CMAKE_INSTALL_LIBEXECDIR}/quorvex)
file(RELATIVE_PATH data_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/quorvex)
file(RELATIVE_PATH data_from_libexec ${CMAKE_INSTALL_PREFIX}/${QUORVEX_LIBEXEC_DIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/quorvex)
file(RELATIVE_PATH libexec_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${QUORVEX_LIBEXEC_DIR})
set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/src/support/DataLocations.cpp APPEND PROPERTY COMPILE_DEFINITIONS
             QUORVEX_DATA_FROM_BIN="${data_from_bin}" QUORVEX_DATA_FROM_LIBEXEC="${data_from_libexec}"
             QUORVEX_LIBEXEC_FROM_BIN="${libexec_from_bin}")


# PNG renders of the scalable icon: for the icon theme and, compiled in, for the windows.
set(icon_svg ${CMAKE_CURRENT_SOURCE_DIR}/data/icons/${QUORVEX_APP_ID}.svg)
set(icon_dir ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(icon_pngs)
foreach(size IN LISTS QUORVEX_ICON_SIZES)
  set(png ${icon_dir}/${size}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
    COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${icon_svg}
    DEPENDS ${icon_svg} VERBATIM)
  list(APPEND icon_pngs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${QUORVEX_APP_ID}.png)
endforeach()
qt_add_resources(quorvex_gui appicon PREFIX /appicon BASE ${icon_dir} FILES ${icon_pngs})

# The manual page, from its scdoc source, installed compressed (gzip -n keeps the file's name and time
# out). It is dated by the release of its version in the AppStream metadata, not by the day of the
# build, so that every build of one version gives the same page.
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/man/quorvex.1)
set(metainfo ${CMAKE_CURRENT_SOURCE_DIR}/data/${QUORVEX_APP_ID}.metainfo.xml)
add_custom_command(OUTPUT ${man_page} ${man_page}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
  COMMAND sh -c [[day=$(sed -n 's/.*<release version="[^"]*" date="\([0-9-]*\)".*/\1/p' "$4" | head -n 1) && export SOURCE_DATE_EPOCH=$(date -u -d "$day" +%s) && "$1" < "$2" > "$3.tmp" && mv "$3.tmp" "$3" && gzip -9nc "$3" > "$3.gz"]]
          scdoc ${SCDOC} ${CMAKE_CURRENT_SOURCE_DIR}/man/quorvex.1.scd ${man_page} ${metainfo}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/quorvex.1.scd ${metainfo} VERBATIM)

# The package's maintainer signs its change log: Debian's DEBFULLNAME and DEBEMAIL when set, else the
# author of the commit that is built. No address is made up here.
if(DEFINED ENV{DEBFULLNAME} AND DEFINED ENV{DEBEMAIL})
  set(QUORVEX_MAINTAINER "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
else()
  execute_process(COMMAND git -C ${CMAKE_CURRENT_SOURCE_DIR} log -1 --format=%an\ <%ae>
                  OUTPUT_VARIABLE QUORVEX_MAINTAINER OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT QUORVEX_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<> ]+>$")
  message(WARNING "No maintainer for the package: set DEBFULLNAME and DEBEMAIL")
  set(QUORVEX_MAINTAINER "The Quorvex developers")
endif()

# The change log of the released versions, as the package's documentation wants it.
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/doc
  COMMAND sh -c [[sh "$1" "$2" "$3" | gzip -9n > "$4"]] changelog
          ${CMAKE_CURRENT_SOURCE_DIR}/tools/debian-changelog.sh ${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md
          ${QUORVEX_MAINTAINER} ${changelog}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_SOURCE_DIR}/tools/debian-changelog.sh VERBATIM)

# The bash completion offers the export formats the registry knows, so a new format needs no edit.
add_executable(quorvex_completion tools/MakeCompletion.cpp)
target_link_libraries(quorvex_completion PRIVATE quorvex_core quorvex_warnings)
set(completion ${CMAKE_CURRENT_BINARY_DIR}/completion/quorvex)
add_custom_command(OUTPUT ${completion}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/completion
  COMMAND quorvex_completion ${CMAKE_CURRENT_SOURCE_DIR}/data/quorvex.bash.in ${completion}
  DEPENDS quorvex_completion ${CMAKE_CURRENT_SOURCE_DIR}/data/quorvex.bash.in VERBATIM)

add_custom_target(quorvex_data ALL DEPENDS ${man_page} ${completion} ${changelog})
add_dependencies(quorvex quorvex_data)

install(TARGETS quorvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quorvex_window RUNTIME DESTINATION ${QUORVEX_LIBEXEC_DIR})
# A stripped install also drops the compiler's notes, which only make the programs larger.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program ${CMAKE_INSTALL_BINDIR}/quorvex ${QUORVEX_LIBEXEC_DIR}/quorvex-window)
      execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${program}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")
# The catalogues, once the build has compiled any; a tree without them installs the rest.
install(DIRECTORY $<TARGET_FILE_DIR:quorvex>/locale/ DESTINATION ${QUORVEX_DATA_DIR}/locale OPTIONAL
        FILES_MATCHING PATTERN "*.mo")
install(FILES config/log.cfg.example DESTINATION ${QUORVEX_DATA_DIR})
install(FILES data/${QUORVEX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES data/${QUORVEX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES data/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvex)
install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VENDOR "The Quorvex developers")
set(CPACK_PACKAGE_CONTACT ${QUORVEX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disk-space usage analyser")
# Lines of at most 80 columns, as package managers show them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Scans a folder or the local drives in background threads and shows a tree\n"
    "of sizes, percentages and file counts, largest first, while it grows.\n"
    "Moves what is not needed to the trash or deletes it. A headless command\n"
    "prints summaries or exports a scan as CSV, text, HTML, XML or JSON.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
