# Runs velmora-search (PROGRAM, through EMULATOR when cross-built; "|" separates the emulator's words)
# on a copy of the bundled example (EXAMPLE) in a folder with a Japanese name under WORK_DIR:
#  1. with a FILE argument whose name is Japanese and holds a character outside code page 932;
#  2. with no FILE, from the Japanese folder as current directory, so the bare name text-2x.ini is used.
# The output must be the same UTF-8 lines on every platform, each ending in LF alone.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE_RECURSE "${WORK_DIR}")
set(folder_name "日本語フォルダ")
set(file_name "設定①～한.ini")
file(MAKE_DIRECTORY "${WORK_DIR}/${folder_name}")
file(COPY_FILE "${EXAMPLE}" "${WORK_DIR}/${folder_name}/${file_name}")
file(COPY_FILE "${EXAMPLE}" "${WORK_DIR}/${folder_name}/text-2x.ini")

# Relative paths only: under wine an absolute Linux path would have to be mapped onto a drive.
execute_process(COMMAND ${emulator} "${PROGRAM}" --header "${folder_name}/${file_name}"
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status OUTPUT_VARIABLE rows ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "velmora-search with a Japanese FILE failed (${status}):\n${errors}")
endif()

string(FIND "${rows}" "\r" cr)
if(NOT cr EQUAL -1)
  message(FATAL_ERROR "the output holds a CR at byte ${cr}: lines must end in LF alone")
endif()

# The example's headings, decoded from code page 932.
set(header "合計\tりんご\tみかん\tバナナ\tぶどう\tもも\tメロン\tいちご\tなし\n")
string(LENGTH "${header}" header_length)
string(SUBSTRING "${rows}" 0 ${header_length} first_line)
if(NOT first_line STREQUAL header)
  message(FATAL_ERROR "header line is not the example's headings in UTF-8:\n${first_line}")
endif()

string(REGEX MATCHALL "\n1500\t[0-9\t]+" solutions "${rows}")
list(LENGTH solutions solution_count)
if(solution_count EQUAL 0)
  message(FATAL_ERROR "no solution rows in:\n${rows}")
endif()

execute_process(COMMAND ${emulator} "${PROGRAM}" --count
  WORKING_DIRECTORY "${WORK_DIR}/${folder_name}"
  RESULT_VARIABLE status OUTPUT_VARIABLE count ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "velmora-search in a Japanese current directory failed (${status}):\n${errors}")
endif()
if(NOT count STREQUAL "${solution_count}\n")
  message(FATAL_ERROR "--count from the bare name gave '${count}', the rows with FILE were ${solution_count}")
endif()
message(STATUS "${solution_count} solutions, headings in UTF-8, lines ending in LF")
