# The program folder: the assets the programs read at run time. Installed it
# is <prefix>/share/vornida; in the build tree a copy lies beside each
# executable that needs one (see GetProgramFolder in src/app/folders.h).
#
#   movie/         the user interface (main.html, splash.html, js/, css/,
#                  strings/), when the source tree has one
#   *.png          the program's pictures from assets/pictures ("TBgBrush.png",
#                  the upgrade wizard's header)
#   demo-photos/   the sample photos of vornida-collage --demo
include(GNUInstallDirs)

set(VORNIDA_PROGRAM_FOLDER_INSTALLED ${CMAKE_INSTALL_DATADIR}/vornida)
# From the folder of the installed executables to the program folder.
file(RELATIVE_PATH VORNIDA_PROGRAM_FOLDER_FROM_BINARIES
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/vornida)

set(VORNIDA_MOVIE_SOURCE ${PROJECT_SOURCE_DIR}/movie)
file(GLOB VORNIDA_PROGRAM_PICTURES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/assets/pictures/*.png)
set(VORNIDA_DEMO_PHOTOS_SOURCE ${PROJECT_SOURCE_DIR}/assets/demo-photos)
# What of movie/ is not part of the program: its tests and their tooling, and
# the templates of the files the build writes.
set(VORNIDA_MOVIE_EXCLUDES "*.test.js" "*.test.mjs" "node_modules" "package.json" "package-lock.json" "*.in")

# The movie's files written by the build, laid out as in movie/: js/version.js
# carries the project's version, so that no second copy of the number exists.
set(VORNIDA_MOVIE_GENERATED ${PROJECT_BINARY_DIR}/movie-generated)
if(EXISTS ${VORNIDA_MOVIE_SOURCE}/js/version.js.in)
  configure_file(${VORNIDA_MOVIE_SOURCE}/js/version.js.in ${VORNIDA_MOVIE_GENERATED}/js/version.js @ONLY)
endif()

set(VORNIDA_PROGRAM_FOLDER_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/copy_program_folder.cmake)

# Puts (and keeps up to date) a copy of the program folder beside `target`.
# Calling it again for the same target does nothing.
function(vornida_program_folder target)
  if(TARGET ${target}_program_folder)
    return()
  endif()
  get_target_property(folder ${target} RUNTIME_OUTPUT_DIRECTORY)
  if(NOT folder)
    get_target_property(folder ${target} BINARY_DIR)
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${VORNIDA_DEMO_PHOTOS_SOURCE}/* ${VORNIDA_MOVIE_SOURCE}/*)
  set(stamp ${folder}/CMakeFiles/${target}_program_folder.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND}
      -DDESTINATION=${folder}
      -DMOVIE=${VORNIDA_MOVIE_SOURCE}
      "-DPICTURES=${VORNIDA_PROGRAM_PICTURES}"
      -DDEMO_PHOTOS=${VORNIDA_DEMO_PHOTOS_SOURCE}
      "-DMOVIE_EXCLUDES=${VORNIDA_MOVIE_EXCLUDES}"
      -DMOVIE_GENERATED=${VORNIDA_MOVIE_GENERATED}
      -P ${VORNIDA_PROGRAM_FOLDER_SCRIPT}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${sources} ${VORNIDA_PROGRAM_PICTURES} ${VORNIDA_PROGRAM_FOLDER_SCRIPT}
            ${VORNIDA_MOVIE_GENERATED}/js/version.js
    COMMENT "Program folder beside ${target}"
    VERBATIM)
  add_custom_target(${target}_program_folder DEPENDS ${stamp})
  add_dependencies(${target} ${target}_program_folder)
endfunction()

# The same folder in an installation.
function(vornida_install_program_folder)
  install(FILES ${VORNIDA_PROGRAM_PICTURES} DESTINATION ${VORNIDA_PROGRAM_FOLDER_INSTALLED})
  # Their licence travels in the package's copyright file.
  install(DIRECTORY ${VORNIDA_DEMO_PHOTOS_SOURCE} DESTINATION ${VORNIDA_PROGRAM_FOLDER_INSTALLED}
          PATTERN LICENSE EXCLUDE)
  if(EXISTS ${VORNIDA_MOVIE_SOURCE})
    set(excludes)
    foreach(pattern IN LISTS VORNIDA_MOVIE_EXCLUDES)
      list(APPEND excludes PATTERN ${pattern} EXCLUDE)
    endforeach()
    install(DIRECTORY ${VORNIDA_MOVIE_SOURCE} DESTINATION ${VORNIDA_PROGRAM_FOLDER_INSTALLED} ${excludes})
    install(DIRECTORY ${VORNIDA_MOVIE_GENERATED}/ DESTINATION ${VORNIDA_PROGRAM_FOLDER_INSTALLED}/movie)
  endif()
endfunction()
