# Links the program's icons beside the executable in the build tree, where no
# icon theme has them yet (installed, they are in share/icons/hicolor):
#   cmake -DSOURCE=<repository root> -DDEST=<executable's folder> -P link_program_folder.cmake
if(NOT EXISTS ${DEST}/icons)
  file(CREATE_LINK ${SOURCE}/assets/icons ${DEST}/icons SYMBOLIC)
endif()
