# cmake -DDESTINATION=DIR -DMOVIE=DIR -DPICTURES=FILES -DDEMO_PHOTOS=DIR
#       -DMOVIE_EXCLUDES=PATTERNS -DMOVIE_GENERATED=DIR -P copy_program_folder.cmake
# Refreshes the build-tree program folder in DESTINATION: the folders are
# copied anew so that files deleted from the sources do not linger.
file(REMOVE_RECURSE ${DESTINATION}/movie ${DESTINATION}/demo-photos)
file(COPY ${PICTURES} DESTINATION ${DESTINATION})
file(COPY ${DEMO_PHOTOS} DESTINATION ${DESTINATION})
if(EXISTS ${MOVIE})
  set(excludes)
  foreach(pattern IN LISTS MOVIE_EXCLUDES)
    list(APPEND excludes PATTERN ${pattern} EXCLUDE)
  endforeach()
  file(COPY ${MOVIE} DESTINATION ${DESTINATION} ${excludes})
  # The files the build wrote from the movie's templates join them.
  if(IS_DIRECTORY ${MOVIE_GENERATED})
    file(COPY ${MOVIE_GENERATED}/ DESTINATION ${DESTINATION}/movie)
  endif()
endif()
