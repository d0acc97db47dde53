# Writes the zentro(1) man page from the CLI's own --help-all, so the page lists exactly the
# commands and options of the program it ships with.
#   cmake -DPROGRAM=<zentro> -DVERSION=<x.y.z> -DOUTPUT=<zentro.1> -P man-from-help.cmake
execute_process(COMMAND ${PROGRAM} --help-all OUTPUT_VARIABLE help RESULT_VARIABLE rc TIMEOUT 30)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help-all failed (${rc})")
endif()
# troff: a backslash is written \e; a line that starts with a dot or an apostrophe is a request
# unless it begins with the zero-width \&.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(WRITE ${OUTPUT} ".TH ZENTRO 1 \"\" \"zentrolink ${VERSION}\" \"User Commands\"
.SH NAME
zentro \\- read and change the contents of Android phones from this computer
.SH SYNOPSIS
.B zentro
[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR]
.SH DESCRIPTION
The command-line host of the zentrolink library. It runs the adb client found beside itself
(\\fI/usr/bin/adb\\fR once installed); the environment variable
.B ANDROID_ADB_SERVER_PORT
selects the adb server. The library's log is written to
\\fI$XDG_DOCUMENTS_DIR/LogFiles/zentrolink.log\\fR (else \\fI~/Documents/LogFiles/zentrolink.log\\fR).
.SH COMMANDS AND OPTIONS
.nf
${help}.fi
.SH EXIT STATUS
0 success, 1 failed operation, 2 usage error, 130 interrupted.
")
