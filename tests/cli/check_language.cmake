# velmora-search in the user's language: its help, usage errors, version and write-error lines are
# Japanese when the locale (LC_ALL, then LC_MESSAGES, then LANG) is Japanese, English otherwise. Under
# wine (RUNNER) the same variables make the Windows program's UI language. Each row of the table runs
# PROGRAM with exactly the locale variables it names and compares the exit status and the start of one
# stream. Where a full device exists (FULL, /dev/full), the write error too, with the system's reason in
# the same language; and the output itself is the same bytes in every locale.
cmake_minimum_required(VERSION 3.25)

# Without the Japanese locale generated, setlocale falls back to C and every Japanese row would fail.
execute_process(COMMAND locale -a OUTPUT_VARIABLE locales RESULT_VARIABLE listed)
string(TOLOWER "${locales}" locales)
if(listed EQUAL 0 AND NOT locales MATCHES "ja_jp\\.utf-?8")
  message(FATAL_ERROR "the ja_JP.UTF-8 locale is not generated: run scripts/install-deps.sh build "
                      "(or localedef -i ja_JP -f UTF-8 ja_JP.UTF-8)")
endif()

set(japanese_try "使い方は「velmora-search --help」で表示されます。\n")
set(english_try "Try 'velmora-search --help'\n")

# run(<locale variables> ARGS <arguments> [OUTPUT_FILE <file>]): sets status, out and err.
function(run)
  cmake_parse_arguments(PARSE_ARGV 0 run "" "OUTPUT_FILE" "ARGS")
  set(output OUTPUT_VARIABLE out)
  if(run_OUTPUT_FILE)
    set(output OUTPUT_FILE ${run_OUTPUT_FILE})
  endif()
  set(quiet "")
  if(RUNNER)
    set(quiet WINEDEBUG=-all) # wine's own notes would go to the same standard error
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=LC_ALL --unset=LC_MESSAGES --unset=LANG --unset=LANGUAGE
            ${quiet} ${run_UNPARSED_ARGUMENTS} ${RUNNER} ${PROGRAM} ${run_ARGS}
    RESULT_VARIABLE status ${output} ERROR_VARIABLE err)
  set(status "${status}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

set(failures "")
# expect(<locale variables> ARGS <arguments> STATUS <status> OUT|ERR <text the stream starts with>)
function(expect)
  cmake_parse_arguments(PARSE_ARGV 0 case "" "STATUS;OUT;ERR;OUTPUT_FILE" "ARGS")
  run(${case_UNPARSED_ARGUMENTS} ARGS ${case_ARGS} OUTPUT_FILE ${case_OUTPUT_FILE})
  if(DEFINED case_OUT)
    set(stream "${out}")
    set(expected "${case_OUT}")
  else()
    set(stream "${err}")
    set(expected "${case_ERR}")
  endif()
  string(FIND "${stream}" "${expected}" at)
  if(NOT status EQUAL case_STATUS OR NOT at EQUAL 0)
    set(failures "${failures}\n${case_UNPARSED_ARGUMENTS} ${case_ARGS}: status ${status} (expected \
${case_STATUS}), the stream starts:\n${stream}\n  expected:\n${expected}" PARENT_SCOPE)
  endif()
endfunction()

expect(LC_ALL=ja_JP.UTF-8 ARGS --help STATUS 0
       OUT "使い方：velmora-search [--count | --csv] [--header] [--reference] [ファイル]\n")
expect(LC_ALL=C ARGS --help STATUS 0
       OUT "usage: velmora-search [--count | --csv] [--header] [--reference] [FILE]\n")
expect(LANG=ja_JP.UTF-8 ARGS --bogus STATUS 2
       ERR "velmora-search: 「--bogus」というオプションはありません。\n${japanese_try}")
expect(LANG=C LC_MESSAGES=ja_JP.UTF-8 ARGS a.ini b.ini STATUS 2
       ERR "velmora-search: 設定ファイルは一つしか指定できません。\n${japanese_try}")
expect(LANG=ja_JP.UTF-8 LC_MESSAGES=C ARGS --count --csv STATUS 2
       ERR "velmora-search: --count and --csv cannot be given together\n${english_try}")
expect(LC_ALL=C LANG=ja_JP.UTF-8 ARGS -x STATUS 2
       ERR "velmora-search: unrecognized option '-x'\n${english_try}")
expect(ARGS --version STATUS 0 OUT "velmora-search ${VERSION}\n")
expect(LC_ALL=ja_JP.UTF-8 ARGS --version STATUS 0 OUT "velmora-search バージョン ${VERSION}\n")

if(FULL)
  expect(LC_ALL=ja_JP.UTF-8 ARGS --help OUTPUT_FILE ${FULL} STATUS 4
         ERR "velmora-search: 出力を書き込めません（デバイスに空き領域がありません）。\n")
  expect(LC_ALL=C ARGS --help OUTPUT_FILE ${FULL} STATUS 4
         ERR "velmora-search: write error: No space left on device\n")
  # Only messages follow the locale: the rows, the headings and the CSV are the same bytes in every one.
  foreach(format --header --csv)
    run(LC_ALL=C ARGS ${format} ${EXAMPLE})
    set(plain "${out}")
    run(LC_ALL=ja_JP.UTF-8 ARGS ${format} ${EXAMPLE})
    if(NOT out STREQUAL plain OR plain STREQUAL "")
      set(failures "${failures}\n${format}: the output differs between the C and the Japanese locale")
    endif()
  endforeach()
endif()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
