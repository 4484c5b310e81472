# What `cmake --install` puts under the prefix: the program, its desktop entry, its icon at every size of the
# hicolor theme and as SVG, its AppStream metainfo and its copyright file in Debian's machine-readable format.
include(GNUInstallDirs)

set(OVELTA_APP_ID org.ovelta.Ovelta)

install(TARGETS ovelta RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/${OVELTA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(data/${OVELTA_APP_ID}.metainfo.xml.in ${CMAKE_CURRENT_BINARY_DIR}/data/${OVELTA_APP_ID}.metainfo.xml
               @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/data/${OVELTA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES data/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ovelta)

# The icon: drawn once as SVG; every size of the hicolor theme, and its double for screens that scale by two,
# rendered from it at build time.
set(icon_svg ${CMAKE_CURRENT_SOURCE_DIR}/data/${OVELTA_APP_ID}.svg)
set(icon_theme ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${icon_svg} DESTINATION ${icon_theme}/scalable/apps)
find_program(RSVG_CONVERT rsvg-convert)
if(NOT RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert (Debian package librsvg2-bin, see scripts/setup.sh) renders the icons")
endif()
set(icon_pngs "")
foreach(size 16 22 24 32 36 48 64 72 96 128 192 256 512)
    foreach(scale 1 2)
        math(EXPR pixels "${size} * ${scale}")
        set(folder ${size}x${size})
        if(scale EQUAL 2)
            string(APPEND folder "@2")
        endif()
        set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${folder}/${OVELTA_APP_ID}.png)
        add_custom_command(OUTPUT ${png}
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${folder}
                           COMMAND ${RSVG_CONVERT} --width ${pixels} --height ${pixels} --output ${png} ${icon_svg}
                           DEPENDS ${icon_svg} VERBATIM)
        list(APPEND icon_pngs ${png})
        install(FILES ${png} DESTINATION ${icon_theme}/${folder}/apps)
    endforeach()
endforeach()
add_custom_target(ovelta_icons ALL DEPENDS ${icon_pngs})
