# What "install" puts under the prefix besides the programs (manual pages, the package's
# history and copyright), and the Debian package CPack builds from it (scripts/package):
# window, command line, desktop entry, icon, translations, manual pages and the documents
# Debian asks for, under /usr.
include(GNUInstallDirs)

# Manual pages carry the project's version and go in compressed, as Debian's tools expect;
# -n keeps the bytes reproducible.
find_program(VERAVA_GZIP gzip)
set(man_pages verava-cli.1)
if(TARGET verava)
    list(APPEND man_pages verava.1)
endif()
set(man_sources "")
foreach(page IN LISTS man_pages)
    configure_file(${PROJECT_SOURCE_DIR}/data/man/${page}.in ${CMAKE_BINARY_DIR}/man-source/${page}
                   @ONLY)
    list(APPEND man_sources ${CMAKE_BINARY_DIR}/man-source/${page})
endforeach()
set(man_outputs "")
if(VERAVA_GZIP)
    foreach(page IN LISTS man_pages)
        set(source ${CMAKE_BINARY_DIR}/man-source/${page})
        set(out ${CMAKE_BINARY_DIR}/man/${page}.gz)
        add_custom_command(OUTPUT ${out}
                           COMMAND ${CMAKE_COMMAND} -E copy ${source} ${CMAKE_BINARY_DIR}/man/${page}
                           COMMAND ${VERAVA_GZIP} -9 -n -f ${CMAKE_BINARY_DIR}/man/${page}
                           DEPENDS ${source} VERBATIM)
        list(APPEND man_outputs ${out})
    endforeach()
    add_custom_target(verava_man_pages ALL DEPENDS ${man_outputs})
    install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    install(FILES ${man_sources} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The scan folder as a systemd user service, one instance per folder.
install(FILES ${PROJECT_SOURCE_DIR}/data/verava-watch@.service
        DESTINATION lib/systemd/user)

# Who answers for the package: the Maintainer field and the changelog's signature.
set(VERAVA_MAINTAINER "VERava maintainers <maintainers@users.noreply.c-seed-fb7250c0.example>"
    CACHE STRING "Name <address> of the Debian package's maintainer")
# The Debian revision of this version's package: with one, the package is not native and
# its history is changelog.Debian.gz.
set(VERAVA_DEBIAN_REVISION 1)
set(VERAVA_DEBIAN_VERSION ${PROJECT_VERSION}-${VERAVA_DEBIAN_REVISION})

# Debian wants the package's history and its copyright in /usr/share/doc/verava, the
# history compressed without a timestamp.
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/verava)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
               ${CMAKE_BINARY_DIR}/debian-doc/changelog.Debian @ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${doc_dir})
# What lintian says that does not apply to a package that is not uploaded to Debian, each
# with why.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME verava)
if(VERAVA_GZIP)
    set(changelog ${CMAKE_BINARY_DIR}/debian-doc/changelog.Debian)
    set(changelog_gz ${CMAKE_BINARY_DIR}/debian-doc/gz/changelog.Debian.gz)
    add_custom_command(OUTPUT ${changelog_gz}
                       COMMAND ${CMAKE_COMMAND} -E copy ${changelog}
                               ${CMAKE_BINARY_DIR}/debian-doc/gz/changelog.Debian
                       COMMAND ${VERAVA_GZIP} -9 -n -f ${CMAKE_BINARY_DIR}/debian-doc/gz/changelog.Debian
                       DEPENDS ${changelog} VERBATIM)
    add_custom_target(verava_debian_changelog ALL DEPENDS ${changelog_gz})
    install(FILES ${changelog_gz} DESTINATION ${doc_dir})
else()
    install(FILES ${CMAKE_BINARY_DIR}/debian-doc/changelog.Debian DESTINATION ${doc_dir})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME verava)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VERAVA_DEBIAN_REVISION})
set(CPACK_PACKAGE_CONTACT "${VERAVA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "put the pages of one-sided scans of double-sided paper in order")
# The summary is the first line of the package's description; this text follows it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "VERava reverses the page order of a scanned PDF file and merges a scan of the
odd pages and a scan of the even pages into one file whose pages alternate odd,
even. It comes as a window (verava, in Chinese or English) and as a command
line program (verava-cli), both built on VERava's own PDF engine.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The libraries come from dpkg-shlibdeps; the window also needs Qt's platform plugins, and
# speaks the language of Qt's own dialogs with Qt's translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Folders 0755 and the control files with the modes dpkg gives them, whatever the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The optimised build carries debug information; the package does not.
set(CPACK_STRIP_FILES ON)
include(CPack)
