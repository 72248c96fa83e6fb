# Installs the build into a fresh prefix and checks the command line's part of
# it: bin/dorvane-rip runs, finds the installed encoder module (an MP3 of a
# small disc image), and its manual page sits in share/man/man1 and renders
# without a warning.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P test_install_rip.cmake
function(fail)
  message(FATAL_ERROR ${ARGN})
endfunction()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  fail("cmake --install failed (${rc})")
endif()

set(rip ${PREFIX}/bin/dorvane-rip)
execute_process(COMMAND ${rip} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc OR NOT out MATCHES "^dorvane-rip [0-9]+\\.[0-9]+\\.[0-9]+\n$" OR err)
  fail("${rip} --version: ${rc} '${out}' '${err}'")
endif()

set(disc ${PREFIX}/disc)
file(MAKE_DIRECTORY ${disc})
execute_process(COMMAND ${BUILD_DIR}/bin/makedisc ${disc} disc 75 RESULT_VARIABLE rc OUTPUT_QUIET)
execute_process(COMMAND ${rip} --quiet -f mp3 -o ${disc}/out ${disc}/disc.cue RESULT_VARIABLE rc2 ERROR_VARIABLE err)
if(rc OR rc2 OR NOT EXISTS "${disc}/out/Track 01 - CD1.mp3")
  fail("installed ${rip} -f mp3: ${rc} ${rc2} ${err}")
endif()

set(page ${PREFIX}/share/man/man1/dorvane-rip.1)
if(NOT EXISTS ${page})
  fail("no manual page at ${page}")
endif()
execute_process(COMMAND groff -man -ww -z ${page} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc OR out OR err)
  fail("groff -man -ww -z ${page}: ${rc} ${out}${err}")
endif()
