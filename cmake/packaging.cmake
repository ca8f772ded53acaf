# What `cmake --install` puts where, and the packages cpack makes from it. Every install rule of the
# project is here, so that the two layouts below are read in one place.
#   Linux:   bin/velmora, bin/velmora-search, the icon and the desktop entry under share/, the Japanese guide
#            and the example settings file under share/doc/velmora/, velmora-search's Japanese messages
#            under share/locale/.
#            cpack -G DEB  ->  velmora_<version>_amd64.deb
#   Windows: one flat folder, velmora-<version>/, with velmora.exe, velmora-search.exe, text-2x.ini and the
#            guide as 使い方.txt (the cross build, cmake/mingw-w64.cmake).
#            cpack -G ZIP  ->  velmora-<version>-windows-x64.zip
# The version is the project's, set once in project() at the top.
include(GNUInstallDirs)

set(velmora_guide ${PROJECT_SOURCE_DIR}/docs/ja/使い方.md)
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

if(WIN32)
  # On Windows the guide is a text file that Notepad opens on a double click: the same text with CR LF line
  # ends and a byte-order mark, so that every Notepad reads it as UTF-8.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${velmora_guide})
  file(READ ${velmora_guide} velmora_guide_text)
  string(REPLACE "\n" "\r\n" velmora_guide_text "${velmora_guide_text}")
  string(ASCII 239 187 191 velmora_bom)
  set(velmora_windows_guide ${PROJECT_BINARY_DIR}/使い方.txt)
  file(WRITE ${velmora_windows_guide} "${velmora_bom}${velmora_guide_text}")
  install(FILES ${velmora_windows_guide} DESTINATION ${velmora_doc_dir})
else()
  install(FILES ${velmora_guide} DESTINATION ${velmora_doc_dir})
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
  # The first line of the description is the summary above.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "velmora reads a target sum and eight terms (a heading, a weight and an inclusive range of whole
numbers each) from the settings file text-2x.ini in the current directory, and lists every combination
of the eight values whose weighted sum equals the target exactly. It has a window (velmora) and a
command line (velmora-search).
.
目標の合計と八つの項目（見出し、乗数、整数の範囲）を設定ファイル text-2x.ini から読み、
重み付きの和が目標にちょうど等しくなる値の組み合わせをすべて一覧にします。
使い方は /usr/share/doc/velmora/使い方.md にあります。")
endif()

include(CPack)
