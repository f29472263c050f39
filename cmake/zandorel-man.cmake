# Writes the diff tool's manual page from the tool's own --help and --version
# output, so that the page says what the tool says and follows every change of
# its help text without an edit here. Run at build time:
#
#   cmake -DTOOL=<zandorel> -DOUTPUT=<dir>/zandorel.1 -P zandorel-man.cmake
#
# writes <dir>/zandorel.1 and <dir>/zandorel.1.gz. How the help reads:
# "Usage: " lines (and "   or: " lines) are the synopsis; an indented line of
# a term (an option, an exit code), a run of two or more blanks and a text is an
# item, and so is an indented option alone; a line indented more than the item
# above goes on with it; a blank line starts a paragraph; every other line is
# text. The name line's summary is the first sentence of that text.

foreach(variable TOOL OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "zandorel-man.cmake: ${variable} is not set")
  endif()
endforeach()

execute_process(COMMAND "${TOOL}" --help OUTPUT_VARIABLE help ERROR_VARIABLE errors)
execute_process(COMMAND "${TOOL}" --version OUTPUT_VARIABLE version
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(help STREQUAL "")
  message(FATAL_ERROR "${TOOL} --help wrote nothing on standard output: ${errors}")
endif()

# Roff's own characters; and CMake's list characters, which would split or
# join the lines below, kept out of the way until the page is written.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REPLACE ";" "@SEMICOLON@" help "${help}")
string(REPLACE "[" "@OPEN@" help "${help}")
string(REPLACE "]" "@CLOSE@" help "${help}")
string(REGEX REPLACE "\n$" "" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

# Text for a line of its own: one that starts with "." or "'" would be taken
# for a request.
function(text_line out text)
  string(STRIP "${text}" text)
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(synopsis "")
set(body "")
set(summary "")
set(mode text)  # text, item or blank
set(item_indent 0)
foreach(line IN LISTS lines)
  string(REGEX MATCH "^ +" indent "${line}")
  string(LENGTH "${indent}" indent)
  if(line MATCHES "^Usage: *(.*)$")
    text_line(text "${CMAKE_MATCH_1}")
    string(APPEND synopsis "${text}\n.br\n")
  elseif(line MATCHES "^ +or: *(.*)$")
    text_line(text "${CMAKE_MATCH_1}")
    string(APPEND synopsis "${text}\n.br\n")
  elseif(line MATCHES "^ *$")
    if(NOT mode STREQUAL "blank")
      string(APPEND body ".PP\n")
    endif()
    set(mode blank)
  elseif(indent GREATER 0 AND mode STREQUAL "item" AND indent GREATER item_indent)
    # More indented than the item above: its text goes on.
    text_line(text "${line}")
    string(APPEND body "${text}\n")
  elseif(line MATCHES "^ +([^ ]+( [^ ]+)*)   *(.*)$")
    # An item: an option, or a term such as an exit code, then its text.
    text_line(text "${CMAKE_MATCH_3}")
    string(APPEND body ".TP\n.B ${CMAKE_MATCH_1}\n${text}\n")
    set(mode item)
    set(item_indent ${indent})
  elseif(line MATCHES "^ +(\\\\-.*)$")
    string(APPEND body ".TP\n.B ${CMAKE_MATCH_1}\n")
    set(mode item)
    set(item_indent ${indent})
  elseif(indent GREATER 0)
    text_line(text "${line}")
    string(APPEND body ".br\n${text}\n")
  else()
    if(mode STREQUAL "item")
      string(APPEND body ".PP\n")
    endif()
    if(summary STREQUAL "" OR NOT summary MATCHES "\\.$")
      string(APPEND summary " ${line}")
    endif()
    text_line(text "${line}")
    string(APPEND body "${text}\n")
    set(mode text)
  endif()
endforeach()
string(REGEX REPLACE "^ +" "" summary "${summary}")
string(REGEX REPLACE "\\.( .*)?$" "" summary "${summary}")

string(REPLACE "\\" "\\e" version "${version}")
string(REPLACE "-" "\\-" version "${version}")
set(page ".TH ZANDOREL 1 \"\" \"${version}\" \"User Commands\"\n"
         ".SH NAME\nzandorel \\- ${summary}\n"
         ".SH SYNOPSIS\n${synopsis}"
         ".SH DESCRIPTION\n${body}")
string(REPLACE ";" "" page "${page}")
string(REPLACE "@SEMICOLON@" ";" page "${page}")
string(REPLACE "@OPEN@" "[" page "${page}")
string(REPLACE "@CLOSE@" "]" page "${page}")
file(WRITE "${OUTPUT}" "${page}")

# Debian installs manual pages compressed; -n keeps the name and time out, so
# the same page gives the same bytes.
execute_process(COMMAND gzip -9nf "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${OUTPUT}")
endif()
file(WRITE "${OUTPUT}" "${page}")
