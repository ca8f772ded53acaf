# What `cmake --install` puts where, and the packages cpack makes from it. Every install rule of the
# project is here, so that the two layouts below are read in one place.
#   Linux:   bin/velmora, bin/velmora-search, the icon and the desktop entry under share/, the Japanese guide
#            (使い方.html) and the example settings file under share/doc/velmora/, velmora-search's Japanese
#            messages under share/locale/.
#            cpack -G DEB  ->  velmora_<version>_amd64.deb
#   Windows: one flat folder, velmora-<version>/, with velmora.exe, velmora-search.exe, text-2x.ini and the
#            guide as 使い方.html (the cross build, cmake/mingw-w64.cmake).
#            cpack -G ZIP  ->  velmora-<version>-windows-x64.zip
# The version is the project's, set once in project() at the top.
include(GNUInstallDirs)

include(${CMAKE_CURRENT_LIST_DIR}/guide.cmake)
set(velmora_example ${PROJECT_SOURCE_DIR}/examples/text-2x.ini)

if(WIN32)
  set(velmora_bin_dir .)
  set(velmora_doc_dir .)
  set(velmora_example_dir .)
else()
  set(velmora_bin_dir ${CMAKE_INSTALL_BINDIR})
  set(velmora_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/velmora)
  set(velmora_example_dir ${velmora_doc_dir}/examples)
endif()

install(TARGETS velmora-search RUNTIME DESTINATION ${velmora_bin_dir})
if(NOT WIN32)
  # The compiled catalogues, found by gettext as share/locale/<language>/LC_MESSAGES/velmora-search.mo;
  # velmora-search looks for them beside its bin/ folder. The Windows program carries them inside.
  install(DIRECTORY ${velmora_locale_dir}/ DESTINATION ${CMAKE_INSTALL_LOCALEDIR})
endif()
if(TARGET velmora)
  install(TARGETS velmora RUNTIME DESTINATION ${velmora_bin_dir})
  if(NOT WIN32)
    install(FILES ${PROJECT_SOURCE_DIR}/window/qt/velmora.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/window/icon/velmora.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/16x16/apps)
  endif()
endif()

# The example is code page 932 with CR LF, exactly as the programs read it: it is copied as it is, never
# configured or converted.
install(FILES ${velmora_example} DESTINATION ${velmora_example_dir})

# The guide, as the HTML page that a browser opens on a double click, on both systems.
if(velmora_guide_html)
  install(FILES ${velmora_guide_html} DESTINATION ${velmora_doc_dir})
endif()

# The packages.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "velmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "finds every combination of eight weighted terms that makes a target sum")
set(CPACK_PACKAGE_CONTACT "velmora maintainers <maintainers@velmora.example>")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # The zip holds one top folder, velmora-<version>/, while its own name also says what it is for.
  set(CPACK_PACKAGE_FILE_NAME velmora-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGING_INSTALL_PREFIX /velmora-${PROJECT_VERSION})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # velmora_<version>_<architecture>.deb
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the dependencies come from dpkg-shlibdeps
  # The window's texts are Japanese: a font that shows them.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The first line of the description is the summary above. Plain English, within Debian's 80 columns;
  # the Japanese summary is in the AppStream metainfo.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "velmora reads a target sum and eight terms from the settings file text-2x.ini
in the current directory. Each term has a heading, a weight and an inclusive
range of whole numbers. velmora lists every combination of the eight values
whose weighted sum equals the target exactly.
.
The package has a window (velmora) and a command line (velmora-search), which
writes the solutions as text or as CSV for a spreadsheet. An example settings
file and a guide in Japanese are in /usr/share/doc/velmora.")
endif()

# ---- The licence, the changelog, the manual pages, the icon at menu sizes and the AppStream metainfo ----
# The Debian package carries what Debian's own tools look for: the licence as the machine-readable
# debian/copyright, the changelog made from CHANGELOG.md, manual pages in English and Japanese made by
# pandoc (each from one Markdown source, the settings file described once for both programs), the icon
# at the sizes menus and docks draw, and the metainfo that software centres list. The Windows zip carries
# the licence as LICENSE.txt. Everything made here is made while building, from the sources named, and
# gzip -9n keeps the package reproducible. The icon cache is refreshed by Debian's own triggers.
include(${CMAKE_CURRENT_LIST_DIR}/changelog.cmake)
if(WIN32)
  # With CR LF line ends, as Notepad wants them.
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION ${velmora_doc_dir})
else()
  set(velmora_debian_dir ${PROJECT_BINARY_DIR}/debian)
  install(FILES ${PROJECT_SOURCE_DIR}/debian/copyright DESTINATION ${velmora_doc_dir})

  # A native package's changelog is changelog.gz.
  velmora_debian_changelog(${PROJECT_SOURCE_DIR}/CHANGELOG.md velmora "${CPACK_PACKAGE_CONTACT}"
                           ${velmora_debian_dir}/changelog)
  add_custom_command(OUTPUT ${velmora_debian_dir}/changelog.gz
                     COMMAND gzip -9n --force --keep ${velmora_debian_dir}/changelog
                     DEPENDS ${velmora_debian_dir}/changelog VERBATIM)
  set(velmora_debian_outputs ${velmora_debian_dir}/changelog.gz)
  install(FILES ${velmora_debian_dir}/changelog.gz DESTINATION ${velmora_doc_dir})

  # The manual pages, dated by the newest release so that building again makes the same bytes.
  find_program(PANDOC_EXECUTABLE pandoc)
  if(PANDOC_EXECUTABLE)
    velmora_changelog_releases(${PROJECT_SOURCE_DIR}/CHANGELOG.md velmora_release)
    list(GET velmora_release_VERSIONS 0 velmora_newest)
    set(velmora_pages velmora-search)
    if(TARGET velmora)
      list(APPEND velmora_pages velmora)
    endif()
    foreach(language en ja)
      set(source_dir ${PROJECT_SOURCE_DIR}/man)
      set(man_dir ${CMAKE_INSTALL_MANDIR}/man1)
      if(language STREQUAL ja)
        string(APPEND source_dir /ja)
        set(man_dir ${CMAKE_INSTALL_MANDIR}/ja/man1)
      endif()
      foreach(page IN LISTS velmora_pages)
        set(output ${velmora_debian_dir}/man/${language}/${page}.1)
        add_custom_command(
          OUTPUT ${output}.gz
          COMMAND ${CMAKE_COMMAND} -E make_directory ${velmora_debian_dir}/man/${language}
          COMMAND ${CMAKE_COMMAND} -DPANDOC=${PANDOC_EXECUTABLE} -DSOURCE=${source_dir}/${page}.1.md
                  -DOUTPUT=${output} "-DFOOTER=velmora ${PROJECT_VERSION}"
                  -DDATE=${velmora_release_DATE_${velmora_newest}} -P ${CMAKE_CURRENT_LIST_DIR}/manpage.cmake
          DEPENDS ${source_dir}/${page}.1.md ${source_dir}/settings-file.md ${CMAKE_CURRENT_LIST_DIR}/manpage.cmake
                  ${PROJECT_SOURCE_DIR}/CHANGELOG.md
          VERBATIM)
        list(APPEND velmora_debian_outputs ${output}.gz)
        install(FILES ${output}.gz DESTINATION ${man_dir})
      endforeach()
    endforeach()
  else()
    message(WARNING "pandoc not found: the manual pages are not made (apt-get install pandoc)")
  endif()
  add_custom_target(velmora-debian-docs ALL DEPENDS ${velmora_debian_outputs})

  if(TARGET velmora)
    foreach(size 32 48 64 128)
      install(FILES ${PROJECT_SOURCE_DIR}/window/icon/velmora-${size}.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME velmora.png)
    endforeach()
    velmora_metainfo_releases(${PROJECT_SOURCE_DIR}/CHANGELOG.md VELMORA_METAINFO_RELEASES)
    configure_file(${PROJECT_SOURCE_DIR}/window/qt/velmora.metainfo.xml.in
                   ${velmora_debian_dir}/velmora.metainfo.xml @ONLY)
    install(FILES ${velmora_debian_dir}/velmora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  endif()

  # The compiler's version notes (.comment) are of no use in an installed program; Debian's own tools
  # remove them when stripping, as here.
  if(CMAKE_OBJCOPY)
    foreach(program velmora-search velmora)
      if(TARGET ${program})
        install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${velmora_bin_dir}/${program}\")")
      endif()
    endforeach()
  endif()
endif()
# ---- end of the licence, changelog, manual pages, icons and metainfo ----

include(CPack)
