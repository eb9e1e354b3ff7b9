# Links the program folder's parts beside the executable in the build tree
# (run at every build, so that a movie/ folder that arrives later is found):
#   cmake -DSOURCE=<repository root> -DDEST=<executable's folder> -P link_program_folder.cmake
foreach(part IN ITEMS movie assets/pictures assets/icons)
  get_filename_component(name ${part} NAME)
  if(EXISTS ${SOURCE}/${part} AND NOT EXISTS ${DEST}/${name})
    file(CREATE_LINK ${SOURCE}/${part} ${DEST}/${name} SYMBOLIC)
  endif()
endforeach()
