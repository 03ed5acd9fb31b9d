# Runs velmora-host.exe on a scenario with a fresh copy of the module in a
# fresh plug-in folder, and judges the run. Modes:
#   expect  the script's own expect lines decide: exit 0 and "run passed"
#   golden  with LEGACY, if given, as the plug-in folder's Tessling.ini: the
#           printout must equal EXPECTED (folder lines left out, WORK's
#           Windows path written WORK), each
#           "picture=committed file" pair of PICTURES (comma-separated) must
#           match byte for byte, and each "picture=WIDTHxHEIGHT" of PNG_SIZES
#           must be a whole PNG (signature, header, end chunk) of that size
#   bad     each case of the table TABLE ("script lines | ... => error") is put
#           between valid lines; the run must stop before doing anything, with
#           exit 2 and the error on the right line (@ODD@: a copy of a sample
#           whose file name cannot name an object)
#   cli     each case of the table TABLE ("arguments => error") must stop
#           before the script runs, with exit 2 and the error
# Variables: MODE HOST EMULATOR MODULE SCRIPT WORK
#            [EXPECTED LEGACY PICTURES PNG_SIZES TABLE SAMPLES]
cmake_minimum_required(VERSION 3.25)

function(fresh_plugin_folder)
  file(REMOVE_RECURSE "${WORK}")
  file(MAKE_DIRECTORY "${WORK}/plugins")
  file(COPY "${MODULE}" DESTINATION "${WORK}/plugins")
endfunction()

# Runs the program, for which nobody is at the display; sets out, err and rc
# in the caller.
function(run_host script)
  execute_process(COMMAND ${EMULATOR} "${HOST}" --unattended ${ARGN} "${script}"
                  OUTPUT_VARIABLE o ERROR_VARIABLE e RESULT_VARIABLE r)
  set(out "${o}" PARENT_SCOPE)
  set(err "${e}" PARENT_SCOPE)
  set(rc "${r}" PARENT_SCOPE)
endfunction()

# Reports the first line where two texts differ.
function(first_difference actual expected)
  string(REPLACE "\n" ";" a "${actual}")
  string(REPLACE "\n" ";" b "${expected}")
  list(LENGTH a na)
  list(LENGTH b nb)
  set(i 0)
  while(i LESS na AND i LESS nb)
    list(GET a ${i} la)
    list(GET b ${i} lb)
    if(NOT la STREQUAL lb)
      math(EXPR n "${i} + 1")
      message(FATAL_ERROR "printout differs at line ${n}:\n  got:      ${la}\n  expected: ${lb}")
    endif()
    math(EXPR i "${i} + 1")
  endwhile()
  message(FATAL_ERROR "printout has ${na} lines, expected ${nb}")
endfunction()

# The cases of a table, one a row, comments and blank lines left out; a table
# without any is an error.
function(read_cases table out)
  file(STRINGS "${table}" rows ENCODING UTF-8)
  list(FILTER rows EXCLUDE REGEX "^(#.*)?$")
  if(NOT rows)
    message(FATAL_ERROR "no case in ${table}")
  endif()
  set(${out} "${rows}" PARENT_SCOPE)
endfunction()

if(MODE STREQUAL "expect")
  fresh_plugin_folder()
  run_host("${SCRIPT}" --plugins "${WORK}/plugins")
  message("${out}${err}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "velmora-host exited with ${rc}")
  endif()
  if(NOT out MATCHES "\nexpectations: [1-9][0-9]* checked; run passed\n")
    message(FATAL_ERROR "the run checked no expectation")
  endif()

elseif(MODE STREQUAL "golden")
  fresh_plugin_folder()
  if(LEGACY)
    file(COPY_FILE "${LEGACY}" "${WORK}/plugins/Tessling.ini")
  endif()
  run_host("${SCRIPT}" --plugins "${WORK}/plugins" --out "${WORK}/out")
  message("${out}${err}")
  if(out MATCHES "skipped: no display")
    message("no display: skipped")
    return()
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "velmora-host exited with ${rc}")
  endif()
  string(REGEX REPLACE "(^|\n)(plug-in folder|output folder|pictures in): [^\n]*" "" actual "${out}")
  string(REGEX REPLACE "^\n" "" actual "${actual}")
  string(REPLACE "/" "\\" windows_work "Z:${WORK}")
  string(REPLACE "${windows_work}" "WORK" actual "${actual}")
  file(READ "${EXPECTED}" expected)
  if(NOT actual STREQUAL expected)
    file(WRITE "${WORK}/actual.txt" "${actual}")
    message("the whole printout is in ${WORK}/actual.txt")
    first_difference("${actual}" "${expected}")
  endif()
  string(REPLACE "," ";" pairs "${PICTURES}")
  foreach(pair IN LISTS pairs)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 made)
    list(GET pair 1 committed)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/out/${made}" "${committed}"
                    RESULT_VARIABLE same)
    if(NOT same EQUAL 0)
      message(FATAL_ERROR "${WORK}/out/${made} differs from ${committed}")
    endif()
  endforeach()
  string(REPLACE "," ";" pngs "${PNG_SIZES}")
  foreach(pair IN LISTS pngs)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 made)
    list(GET pair 1 wanted)
    set(png "${WORK}/out/${made}")
    if(NOT EXISTS "${png}")
      message(FATAL_ERROR "${png} was not written")
    endif()
    file(READ "${png}" head LIMIT 24 HEX)
    file(SIZE "${png}" bytes)
    math(EXPR last "${bytes} - 12")
    file(READ "${png}" tail OFFSET ${last} HEX)
    if(NOT head MATCHES "^89504e470d0a1a0a0000000d49484452(........)(........)$"
       OR NOT tail STREQUAL "0000000049454e44ae426082")
      message(FATAL_ERROR "${png} is not a whole PNG")
    endif()
    math(EXPR width "0x${CMAKE_MATCH_1}")
    math(EXPR height "0x${CMAKE_MATCH_2}")
    if(NOT "${width}x${height}" STREQUAL wanted)
      message(FATAL_ERROR "${png} is ${width}x${height}, expected ${wanted}")
    endif()
  endforeach()

elseif(MODE STREQUAL "bad")
  set(odd "${WORK}-files/two words.png")
  file(MAKE_DIRECTORY "${WORK}-files")
  file(COPY_FILE "${SAMPLES}/square.png" "${odd}")
  read_cases("${TABLE}" rows)
  foreach(row IN LISTS rows)
    string(FIND "${row}" " => " at)
    if(at LESS 0)
      message(FATAL_ERROR "table row without \" => \": ${row}")
    endif()
    string(SUBSTRING "${row}" 0 ${at} lines)
    math(EXPR from "${at} + 4")
    string(SUBSTRING "${row}" ${from} -1 wanted)
    string(REPLACE "@SAMPLES@" "${SAMPLES}" lines "${lines}")
    string(REPLACE "@SAMPLES@" "${SAMPLES}" wanted "${wanted}")
    string(REPLACE "@ODD@" "\"${odd}\"" lines "${lines}")
    string(REPLACE " | " "\n" lines "${lines}")
    string(REGEX MATCHALL "\n" breaks "${lines}")
    list(LENGTH breaks extra)
    # Four valid lines come first, so the case's last line is line 5 + extra.
    math(EXPR line "5 + ${extra}")

    fresh_plugin_folder()
    set(script "${WORK}/case.txt")
    file(WRITE "${script}" "settings set Fit 2\nload\nformat 1920x1080 30/1\n"
                           "paste ${SAMPLES}/landscape.png layer 1 frame 0\n"
                           "${lines}\nevent 1\ntable\n")
    run_host("${script}" --plugins "${WORK}/plugins" --out "${WORK}/out")
    string(FIND "${err}" "case.txt:${line}: ${wanted}" found)
    if(NOT rc EQUAL 2 OR found LESS 0)
      message(FATAL_ERROR "case \"${row}\": exit ${rc}, expected 2 and "
                          "\"case.txt:${line}: ${wanted}\"; it said:\n${out}${err}")
    endif()
    if(NOT out STREQUAL "" OR EXISTS "${WORK}/plugins/Velmora.ini" OR EXISTS "${WORK}/out")
      message(FATAL_ERROR "case \"${row}\": something ran before the error was found:\n${out}")
    endif()
    message("ok: ${row}")
  endforeach()
  list(LENGTH rows cases)
  message("${cases} bad scripts refused before anything ran")

elseif(MODE STREQUAL "cli")
  fresh_plugin_folder()
  file(MAKE_DIRECTORY "${WORK}/no-module" "${WORK}/not-a-dll")
  file(COPY_FILE "${SAMPLES}/not-an-image.txt" "${WORK}/not-a-dll/Velmora.aux2")
  file(WRITE "${WORK}/load.txt" "load\n")
  file(WRITE "${WORK}/empty.txt" "# only a comment\n\n")
  read_cases("${TABLE}" rows)
  foreach(row IN LISTS rows)
    string(REGEX MATCH "^(.*) => (.*)$" matched "${row}")
    string(REPLACE "@WORK@" "${WORK}" arguments "${CMAKE_MATCH_1}")
    separate_arguments(arguments UNIX_COMMAND "${arguments}")
    set(wanted "${CMAKE_MATCH_2}")
    execute_process(COMMAND ${EMULATOR} "${HOST}" ${arguments}
                    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
    string(FIND "${err}" "${wanted}" found)
    if(NOT rc EQUAL 2 OR found LESS 0 OR NOT out STREQUAL "")
      message(FATAL_ERROR "case \"${row}\": exit ${rc}, expected 2, \"${wanted}\" and nothing "
                          "run; it said:\n${out}${err}")
    endif()
    message("ok: ${row}")
  endforeach()

else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
