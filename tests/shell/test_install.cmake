# Installs the build into a fresh prefix and checks what a desktop needs to
# list and start the program: a valid desktop entry under AudioVideo;Audio;,
# the program its Exec line names, its icon in the hicolor theme, and valid
# AppStream metainfo of the same name; and that bin/ holds programs only.
# Then the command line: bin/dorvane-rip runs and finds the installed encoder
# module (an MP3 of a small disc image), and its manual page sits in
# share/man/man1 and renders without a warning.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P test_install.cmake
function(fail)
  message(FATAL_ERROR ${ARGN})
endfunction()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  fail("cmake --install failed (${rc})")
endif()
set(entry ${PREFIX}/share/applications/example.dorvane.Dorvane.desktop)
execute_process(COMMAND desktop-file-validate ${entry} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc OR out)
  fail("desktop-file-validate ${entry}: ${rc} ${out}")
endif()

file(STRINGS ${entry} exec REGEX "^Exec=")
file(STRINGS ${entry} icon REGEX "^Icon=")
file(STRINGS ${entry} categories REGEX "^Categories=AudioVideo;Audio;$")
string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec "${exec}")
string(REPLACE "Icon=" "" icon "${icon}")
file(GLOB icons ${PREFIX}/share/icons/hicolor/*/apps/${icon}.svg ${PREFIX}/share/icons/hicolor/*/apps/${icon}.png)
# A file manager may hand the program CUE sheets.
file(STRINGS ${entry} mime REGEX "^MimeType=.*application/x-cue;")
execute_process(COMMAND test -x ${PREFIX}/bin/${exec} RESULT_VARIABLE rc)
if(rc OR NOT icons OR NOT categories OR NOT mime OR NOT exec MATCHES "^dorvane$")
  fail("${entry}: Exec=${exec}, Icon=${icon}, categories '${categories}', CUE sheets '${mime}'; installed icons: '${icons}'")
endif()

# The encoder is a private module under lib/dorvane/, which the program finds
# as ../lib/dorvane/ from its folder (the MP3 run below loads it from there);
# bin/ holds nothing but programs.
file(GLOB bin RELATIVE ${PREFIX}/bin ${PREFIX}/bin/*)
foreach(f ${bin})
  execute_process(COMMAND test -x ${PREFIX}/bin/${f} RESULT_VARIABLE rc)
  if(rc OR f MATCHES "\\.so$")
    fail("${PREFIX}/bin/${f} is no program; bin/ holds ${bin}")
  endif()
endforeach()

set(metainfo ${PREFIX}/share/metainfo/example.dorvane.Dorvane.metainfo.xml)
execute_process(COMMAND appstreamcli validate --no-net ${metainfo} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(STRINGS ${metainfo} launchable REGEX "<launchable type=\"desktop-id\">example.dorvane.Dorvane.desktop<")
if(rc OR NOT launchable)
  fail("appstreamcli validate --no-net ${metainfo}: ${rc} ${out}; launchable: '${launchable}'")
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

# groff names a page that is missing.
set(page ${PREFIX}/share/man/man1/dorvane-rip.1)
execute_process(COMMAND groff -man -ww -z ${page} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc OR out OR err)
  fail("groff -man -ww -z ${page}: ${rc} ${out}${err}")
endif()
