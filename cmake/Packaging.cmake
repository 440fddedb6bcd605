# What `cmake --install` puts where, and the Debian package made from it by CPack
# (scripts/package). The Perl runtime goes to share/quillpost/lib, where the programs look for
# it when there is no lib/ folder beside them.
include(GNUInstallDirs)
set(QP_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quillpost)
set(QP_STAGE_DIR ${CMAKE_BINARY_DIR}/packaging)
set(QP_DEB_VERSION ${PROJECT_VERSION}-1)

install(TARGETS quillpost-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${QP_RUNTIME_DIR}/Quillpost.pm ${QP_RUNTIME_DIR}/jcode.pl ${QP_RUNTIME_DIR}/mimew.pl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quillpost/lib)
install(FILES packaging/quillpost-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quillpost-cli)
install(FILES packaging/copyright DESTINATION ${QP_DOC_DIR})

# The man pages and the changelog get the version and are compressed as Debian expects.
configure_file(packaging/changelog.Debian.in ${QP_STAGE_DIR}/changelog.Debian @ONLY)
set(QP_COMPRESSED)
foreach(page quillpost quillpost-cli)
  configure_file(docs/man/${page}.1 ${QP_STAGE_DIR}/${page}.1 @ONLY)
  list(APPEND QP_COMPRESSED ${QP_STAGE_DIR}/${page}.1)
  install(FILES ${QP_STAGE_DIR}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# The README itself stays uncompressed beside its pictures (ui/CMakeLists.txt): the About box
# opens it.
list(APPEND QP_COMPRESSED ${QP_STAGE_DIR}/changelog.Debian)
install(FILES ${QP_STAGE_DIR}/changelog.Debian.gz DESTINATION ${QP_DOC_DIR})
set(QP_COMPRESSED_OUTPUTS)
foreach(file ${QP_COMPRESSED})
  add_custom_command(OUTPUT ${file}.gz COMMAND gzip -9nkf ${file} DEPENDS ${file} VERBATIM)
  list(APPEND QP_COMPRESSED_OUTPUTS ${file}.gz)
endforeach()
add_custom_target(qp_packaging_files ALL DEPENDS ${QP_COMPRESSED_OUTPUTS})

if(QP_BUILD_GUI)
  install(TARGETS quillpost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ui/desktop/quillpost.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ui/desktop/quillpost-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME quillpost.xml)
  # The program's icon, also for its project files (PNGs rendered from the SVG with rsvg-convert).
  set(QP_ICONS ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  foreach(kind apps mimetypes)
    set(name quillpost)
    if(kind STREQUAL "mimetypes")
      set(name application-x-quillpost-project)
    endif()
    install(FILES ui/desktop/quillpost.svg DESTINATION ${QP_ICONS}/scalable/${kind} RENAME ${name}.svg)
    foreach(size 16 22 24 32 48 64 128 256)
      install(FILES ui/desktop/icons/${size}x${size}/quillpost.png
              DESTINATION ${QP_ICONS}/${size}x${size}/${kind} RENAME ${name}.png)
    endforeach()
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillpost)
set(CPACK_PACKAGE_VENDOR "Quillpost developers")
set(CPACK_PACKAGE_CONTACT "Quillpost developers <quillpost@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop tool that builds form-mail CGI programs")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Quillpost describes a web form (text fields, check boxes, radio buttons,\n"
  "pop-up menus, required fields and checks), the mail to the site's\n"
  "administrator, an automatic reply and the HTML of its pages, and from that\n"
  "writes a Perl form-mail CGI script (EUC-JP) that it can try on this computer\n"
  "and upload over FTP with its Perl runtime. The desktop program has a Japanese\n"
  "interface; quillpost-cli does the same from a terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# perl runs the preview's CGI; the translations give Qt's own dialogs their Japanese texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "perl, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
