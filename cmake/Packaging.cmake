# Installing, the desktop integration files and the Debian package. Included from the top-level
# CMakeLists.txt after the targets exist, so everything here stays in one place.
include(GNUInstallDirs)

set(QUORVEX_ICON_SIZES 16 22 24 32 48 64 128 256)
set(QUORVEX_DATA_DIR ${CMAKE_INSTALL_DATADIR}/quorvex)

find_program(RSVG_CONVERT rsvg-convert REQUIRED) # librsvg2-bin
find_program(SCDOC scdoc REQUIRED)

# The installed program finds its data relative to itself, so an install into any prefix (or a
# DESTDIR staging tree) works without rebuilding.
file(RELATIVE_PATH data_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/quorvex)
set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/src/support/DataLocations.cpp APPEND
             PROPERTY COMPILE_DEFINITIONS QUORVEX_DATA_FROM_BIN="${data_from_bin}")

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

# The manual page, from its scdoc source.
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/man/quorvex.1)
add_custom_command(OUTPUT ${man_page}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
  COMMAND sh -c "\"$1\" < \"$2\" > \"$3.tmp\" && mv \"$3.tmp\" \"$3\"" scdoc ${SCDOC}
          ${CMAKE_CURRENT_SOURCE_DIR}/man/quorvex.1.scd ${man_page}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/quorvex.1.scd VERBATIM)

# The bash completion offers the export formats the registry knows, so a new format needs no edit.
add_executable(quorvex_completion tools/MakeCompletion.cpp)
target_link_libraries(quorvex_completion PRIVATE quorvex_core quorvex_warnings)
set(completion ${CMAKE_CURRENT_BINARY_DIR}/completion/quorvex)
add_custom_command(OUTPUT ${completion}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/completion
  COMMAND quorvex_completion ${CMAKE_CURRENT_SOURCE_DIR}/data/quorvex.bash.in ${completion}
  DEPENDS quorvex_completion ${CMAKE_CURRENT_SOURCE_DIR}/data/quorvex.bash.in VERBATIM)

add_custom_target(quorvex_data ALL DEPENDS ${man_page} ${completion})
add_dependencies(quorvex quorvex_data)

install(TARGETS quorvex quorvex_window RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The catalogues, once the build has compiled any; a tree without them installs the rest.
install(DIRECTORY $<TARGET_FILE_DIR:quorvex>/locale/ DESTINATION ${QUORVEX_DATA_DIR}/locale OPTIONAL
        FILES_MATCHING PATTERN "*.mo")
install(FILES config/log.cfg.example DESTINATION ${QUORVEX_DATA_DIR})
install(FILES data/${QUORVEX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES data/${QUORVEX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VENDOR "The Quorvex developers")
set(CPACK_PACKAGE_CONTACT "The Quorvex developers <quorvex@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disk-space usage analyser")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Scans a folder or the local drives in background threads and shows a tree of sizes, percentages\n"
    "and file counts, largest first, while it grows. Moves what is not needed to the trash or deletes\n"
    "it. A headless command prints summaries or exports a scan as CSV, text, HTML or XML.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
