# Compiles the Japanese help into one .chm file. A script, not an include:
#   cmake -DSOURCE_DIR=<help sources> -DWORK_DIR=<scratch dir> -DOUTPUT=<file.chm>
#         [-DCHMCMD=<chmcmd>] [-DICONV=<iconv>] -P Help.cmake
#
# The sources are UTF-8 so that they can be edited and diffed like any other
# file. CHM viewers on Linux read the table of contents and the index in the
# code page of the project's language (0x411, CP932) and honour each page's
# charset meta tag, which says Shift_JIS; so every text file is converted to
# CP932 on the way in. A character that CP932 cannot hold stops the build
# instead of turning into a question mark in the viewer.

#
# With -DHTML_DIR=<folder> instead of WORK_DIR and OUTPUT, it writes the same
# pages as plain HTML for a browser: they stay UTF-8 and say so.

if(DEFINED HTML_DIR)
  if(NOT DEFINED SOURCE_DIR)
    message(FATAL_ERROR "Help.cmake: SOURCE_DIR is not set")
  endif()
  # A fresh folder, so that a page deleted from the sources cannot linger.
  file(REMOVE_RECURSE "${HTML_DIR}")
  file(MAKE_DIRECTORY "${HTML_DIR}")
  file(GLOB pages RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.html" "${SOURCE_DIR}/*.css")
  foreach(name IN LISTS pages)
    file(READ "${SOURCE_DIR}/${name}" text)
    # The note on the conversion is about the .chm; a browser must read UTF-8.
    string(REGEX REPLACE "<!-- UTF-8 in the source tree;[^\n]*-->\n" "" text "${text}")
    string(REGEX REPLACE "charset=Shift_JIS" "charset=UTF-8" text "${text}")
    file(WRITE "${HTML_DIR}/${name}" "${text}")
  endforeach()
  if(NOT EXISTS "${HTML_DIR}/index.html")
    message(FATAL_ERROR "help/ holds no index.html, the start page of the help")
  endif()
  return()
endif()

foreach(var SOURCE_DIR WORK_DIR OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "Help.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT CHMCMD)
  find_program(CHMCMD chmcmd REQUIRED)
endif()
if(NOT ICONV)
  find_program(ICONV iconv REQUIRED)
endif()

# A scratch copy, so that a page deleted from the sources cannot linger.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

file(GLOB sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
set(project "")
foreach(name IN LISTS sources)
  if(IS_DIRECTORY "${SOURCE_DIR}/${name}")
    continue()
  endif()
  if(name MATCHES "\\.(html|hhc|hhk|hhp|css)$")
    execute_process(
      COMMAND "${ICONV}" -f UTF-8 -t CP932 "${SOURCE_DIR}/${name}"
      OUTPUT_FILE "${WORK_DIR}/${name}"
      ERROR_VARIABLE err
      RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "help/${name} cannot be converted to CP932: ${err}")
    endif()
  else()
    file(COPY "${SOURCE_DIR}/${name}" DESTINATION "${WORK_DIR}")
  endif()
  if(name MATCHES "\\.hhp$")
    list(APPEND project "${name}")
  endif()
endforeach()

list(LENGTH project count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "help/ must hold exactly one .hhp project, found: ${project}")
endif()
file(STRINGS "${WORK_DIR}/${project}" compiled REGEX "^Compiled file=")
string(REGEX REPLACE "^Compiled file=[ ]*" "" compiled "${compiled}")
string(STRIP "${compiled}" compiled)
if(compiled STREQUAL "")
  message(FATAL_ERROR "help/${project} names no \"Compiled file\"")
endif()

execute_process(
  COMMAND "${CHMCMD}" --verbosity 1 "${project}"
  WORKING_DIRECTORY "${WORK_DIR}"
  OUTPUT_VARIABLE log
  ERROR_VARIABLE log
  RESULT_VARIABLE rc)
# chmcmd reports a missing contents file or page only in its output, and
# still writes a file; so its word counts, not its exit status alone.
if(NOT rc EQUAL 0 OR NOT EXISTS "${WORK_DIR}/${compiled}" OR log MATCHES "(^|\n)(Error|Warning):")
  message(FATAL_ERROR "chmcmd failed on help/${project}:\n${log}")
endif()
file(COPY_FILE "${WORK_DIR}/${compiled}" "${OUTPUT}")
