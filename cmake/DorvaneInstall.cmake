# cmake --install lays Dorvane out as a Linux desktop expects: the program in
# bin/, its desktop entry and icon under share/. The program's own folder is
# its application folder: whatever it loads from there (the help file, an
# encoder module) is installed beside it, with
#   dorvane_install_beside_program(TARGETS target... FILES file...)
include(GNUInstallDirs)

function(dorvane_install_beside_program)
  cmake_parse_arguments(ARG "" "" "TARGETS;FILES" ${ARGN})
  if(ARG_TARGETS)
    install(TARGETS ${ARG_TARGETS}
      RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
      LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  if(ARG_FILES)
    install(FILES ${ARG_FILES} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endfunction()
