# What `cmake --install` puts where: both programs, the menu entry, the
# icon, the AppStream metadata, the manual pages and the systemd user units.
# Configure with -DCMAKE_INSTALL_PREFIX=/usr for a system-wide install or a
# package; the user units name the program by its installed path.
include(GNUInstallDirs)

set(NG_SYSTEMD_USER_UNIT_DIR "lib/systemd/user" CACHE STRING
    "Where the systemd user units go, relative to the install prefix")

set(ng_data ${PROJECT_SOURCE_DIR}/data)
set(ng_built ${PROJECT_BINARY_DIR}/data)
file(MAKE_DIRECTORY ${ng_built}/man)

install(TARGETS newsgleaner-pass RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages, written by hand in man(7) and compressed as Debian wants.
find_program(NG_GZIP gzip REQUIRED)
set(ng_man_pages newsgleaner-pass.1)
if(TARGET newsgleaner)
    list(APPEND ng_man_pages newsgleaner.1)
endif()
set(ng_man_outputs)
foreach(page ${ng_man_pages})
    add_custom_command(OUTPUT ${ng_built}/man/${page}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/man/${page} ${ng_built}/man/${page}
        COMMAND ${NG_GZIP} -9nf ${ng_built}/man/${page}
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}
        COMMENT "Compressing the manual page ${page}" VERBATIM)
    list(APPEND ng_man_outputs ${ng_built}/man/${page}.gz)
endforeach()
add_custom_target(ng_man_pages ALL DEPENDS ${ng_man_outputs})
install(FILES ${ng_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The headless pass as a systemd user service and an hourly timer; neither is
# enabled on installation.
configure_file(${ng_data}/systemd/newsgleaner-pass.service.in
    ${ng_built}/newsgleaner-pass.service @ONLY)
install(FILES ${ng_built}/newsgleaner-pass.service ${ng_data}/systemd/newsgleaner-pass.timer
    DESTINATION ${NG_SYSTEMD_USER_UNIT_DIR})

if(TARGET newsgleaner)
    install(TARGETS newsgleaner RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${ng_data}/newsgleaner.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${ng_data}/example.newsgleaner.Newsgleaner.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${ng_data}/icons/newsgleaner.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

    # The 256x256 picture for menus that want a bitmap, drawn from the SVG.
    find_program(NG_RSVG_CONVERT rsvg-convert)
    if(NG_RSVG_CONVERT)
        add_custom_command(OUTPUT ${ng_built}/newsgleaner.png
            COMMAND ${NG_RSVG_CONVERT} -w 256 -h 256 -o ${ng_built}/newsgleaner.png
                ${ng_data}/icons/newsgleaner.svg
            DEPENDS ${ng_data}/icons/newsgleaner.svg
            COMMENT "Drawing the 256x256 icon" VERBATIM)
        add_custom_target(ng_icon_png ALL DEPENDS ${ng_built}/newsgleaner.png)
        install(FILES ${ng_built}/newsgleaner.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
    else()
        message(WARNING "rsvg-convert (Debian package librsvg2-bin) was not found: "
            "the 256x256 icon is neither drawn nor installed")
    endif()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
