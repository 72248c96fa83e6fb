# Installs the build into a fresh prefix and checks what a desktop needs to
# list and start the program: the executable, a valid desktop entry naming
# it, and the entry's icon in the hicolor theme.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P test_install.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "cmake --install failed (${rc})")
endif()

set(entry ${PREFIX}/share/applications/dorvane.desktop)
execute_process(COMMAND desktop-file-validate ${entry} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc OR out)
  message(FATAL_ERROR "desktop-file-validate ${entry}: ${rc} ${out}")
endif()

file(STRINGS ${entry} exec REGEX "^Exec=")
string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec "${exec}")
execute_process(COMMAND test -x ${PREFIX}/bin/${exec} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "Exec=${exec}, but ${PREFIX}/bin/${exec} is no installed program")
endif()

file(STRINGS ${entry} icon REGEX "^Icon=")
string(REPLACE "Icon=" "" icon "${icon}")
file(GLOB icons ${PREFIX}/share/icons/hicolor/*/apps/${icon}.png ${PREFIX}/share/icons/hicolor/*/apps/${icon}.svg)
if(NOT icons)
  message(FATAL_ERROR "Icon=${icon}, but no such icon under ${PREFIX}/share/icons/hicolor")
endif()

file(STRINGS ${entry} categories REGEX "^Categories=AudioVideo;Audio;$")
if(NOT categories)
  message(FATAL_ERROR "${entry} is not listed under AudioVideo;Audio;")
endif()
