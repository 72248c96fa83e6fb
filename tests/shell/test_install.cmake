# Installs the build into a fresh prefix and checks what a desktop needs to
# list and start the program: a valid desktop entry under AudioVideo;Audio;,
# the program its Exec line names, and its icon in the hicolor theme.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P test_install.cmake
function(fail)
  message(FATAL_ERROR ${ARGN})
endfunction()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  fail("cmake --install failed (${rc})")
endif()
set(entry ${PREFIX}/share/applications/dorvane.desktop)
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
execute_process(COMMAND test -x ${PREFIX}/bin/${exec} RESULT_VARIABLE rc)
if(rc OR NOT icons OR NOT categories)
  fail("${entry}: Exec=${exec}, Icon=${icon}, categories '${categories}'; installed icons: '${icons}'")
endif()

# The encoder module sits beside the program, which loads it from there; a
# file manager may hand the program CUE sheets.
file(STRINGS ${entry} mime REGEX "^MimeType=.*application/x-cue;")
if(NOT EXISTS ${PREFIX}/bin/lame_enc.so OR NOT mime OR NOT exec MATCHES "^dorvane$")
  fail("${PREFIX}: lame_enc.so beside the program, and a MimeType line for CUE sheets")
endif()
