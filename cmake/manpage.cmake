# Makes one manual page with pandoc, run as a script while building:
#   cmake -DPANDOC=<pandoc> -DSOURCE=<page.1.md> -DOUTPUT=<page.1> -DFOOTER=<text> -DDATE=<YYYY-MM-DD> -P manpage.cmake
# writes <page.1> and <page.1.gz> (gzip -9n: no name, no time stamp, so that the package is reproducible).
# A line "<!-- include NAME.md -->" in the source is replaced by NAME.md from the source's folder: the
# settings file is described once for both programs.
# groff breaks lines only at spaces, and Japanese text has none, so after every CJK character the page
# gets a break point (\:), except before closing punctuation and after opening brackets.
foreach(variable PANDOC SOURCE OUTPUT FOOTER DATE)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "manpage.cmake: ${variable} is not set")
  endif()
endforeach()

file(READ ${SOURCE} text)
get_filename_component(folder ${SOURCE} DIRECTORY)
string(REGEX MATCHALL "<!-- include [A-Za-z0-9_.-]+ -->" includes "${text}")
foreach(include IN LISTS includes)
  string(REGEX REPLACE "<!-- include ([A-Za-z0-9_.-]+) -->" "\\1" name "${include}")
  file(READ ${folder}/${name} part)
  string(REPLACE "${include}" "${part}" text "${text}")
endforeach()
set(joined ${OUTPUT}.md)
file(WRITE ${joined} "${text}")

set(cjk "\\\\\\[u(3[0-9A-F]|[4-9][0-9A-F]|F[9F])[0-9A-F][0-9A-F]\\]")
set(closing "\\\\\\[u(3001|3002|3009|300B|300D|300F|3011|30FC|FF09|FF0C|FF0E|FF1A|FF1B|FF5E|301C)\\]")
set(opening "\\\\\\[u(3008|300A|300C|300E|3010|FF08)\\]")
execute_process(
  COMMAND ${PANDOC} --standalone --from=markdown-smart+east_asian_line_breaks --to=man --metadata=footer:${FOOTER}
          --metadata=date:${DATE} ${joined}
  COMMAND sed -E "/^\\.TH /a\\\n.ad l\n/^[.']/!{s/(${cjk})/\\1\\\\:/g; s/\\\\:(${closing})/\\1/g; s/(${opening})\\\\:/\\1/g}"
  OUTPUT_FILE ${OUTPUT}
  RESULTS_VARIABLE results)
if(NOT results MATCHES "^0;0$")
  message(FATAL_ERROR "manpage.cmake: pandoc or sed failed on ${SOURCE}: ${results}")
endif()
execute_process(COMMAND gzip -9n --stdout ${OUTPUT} OUTPUT_FILE ${OUTPUT}.gz RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "manpage.cmake: gzip failed on ${OUTPUT}")
endif()
file(REMOVE ${joined})
