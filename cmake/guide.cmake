# The users' guide as a page that opens formatted on a double click: pandoc turns docs/ja/使い方.md into one
# standalone HTML file (UTF-8, declared by its <meta charset>, the style inside it, tables as tables) at
# build time, as ${velmora_guide_html}. Without pandoc (Debian package `pandoc`) the rest builds and the
# guide is left out, with a warning: scripts/install-deps.sh package installs it, as the packages need it.
set(velmora_guide_source ${PROJECT_SOURCE_DIR}/docs/ja/使い方.md)
set(velmora_guide_style ${PROJECT_SOURCE_DIR}/docs/ja/guide-style.html)
set(velmora_guide_html ${PROJECT_BINARY_DIR}/使い方.html)

find_program(VELMORA_PANDOC pandoc)
if(VELMORA_PANDOC)
  add_custom_command(
    OUTPUT ${velmora_guide_html}
    COMMAND ${VELMORA_PANDOC} --quiet --from=gfm+east_asian_line_breaks --to=html5 --standalone --metadata lang=ja
            "--metadata=pagetitle:velmora の使い方" --include-in-header=${velmora_guide_style}
            --output=${velmora_guide_html} ${velmora_guide_source}
    DEPENDS ${velmora_guide_source} ${velmora_guide_style}
    COMMENT "Making the guide 使い方.html with pandoc"
    VERBATIM)
  add_custom_target(velmora_guide ALL DEPENDS ${velmora_guide_html})
else()
  message(WARNING "pandoc not found: the guide 使い方.html is not made and the packages lack it "
                  "(install it with: sudo apt-get install pandoc)")
  unset(velmora_guide_html)
endif()
