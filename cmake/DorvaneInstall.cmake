# cmake --install lays Dorvane out as a Linux desktop expects: the program in
# bin/, its desktop entry, icon and metainfo under share/. The program's own
# folder is its application folder: what it reads from there (the help file)
# is installed beside it, with
#   dorvane_install_beside_program(TARGETS target... FILES file...)
# Modules it loads are no programs and stay out of bin/: they go to
# lib/dorvane/, which the program finds as ../lib/dorvane/ from its folder
# (modGeneral::PrivateModulePath), with
#   dorvane_install_private_module(TARGETS target...)
include(GNUInstallDirs)

# Literal "lib", not CMAKE_INSTALL_LIBDIR (lib/x86_64-linux-gnu on Debian):
# the program looks one fixed step away from bin/.
set(DORVANE_INSTALL_MODULEDIR lib/dorvane)

function(dorvane_install_private_module)
  cmake_parse_arguments(ARG "" "" "TARGETS" ${ARGN})
  install(TARGETS ${ARG_TARGETS} LIBRARY DESTINATION ${DORVANE_INSTALL_MODULEDIR})
endfunction()

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
