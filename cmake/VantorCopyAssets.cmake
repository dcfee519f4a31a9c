# cmake -DSOURCE=<dir> -DDESTINATION=<dir> [-DSKIP_FROM=<dir>] -P VantorCopyAssets.cmake
#
# Copies a game's assets into its runnable folder. Files that did not change
# keep their time stamps and are left alone: a running engine in reload mode
# loads again every model file that is rewritten.
#
# -DSKIP_FROM=<dir> leaves out every file that <dir> holds under the same name:
# the starter assets give way to a game's own, which are copied after them, and
# neither copy rewrites the other's file on every build.
if(SKIP_FROM)
  file(GLOB_RECURSE files RELATIVE "${SOURCE}" "${SOURCE}/*")
  foreach(file ${files})
    if(NOT EXISTS "${SKIP_FROM}/${file}")
      get_filename_component(folder "${file}" DIRECTORY)
      file(COPY "${SOURCE}/${file}" DESTINATION "${DESTINATION}/${folder}")
    endif()
  endforeach()
else()
  file(COPY "${SOURCE}/" DESTINATION "${DESTINATION}")
endif()
