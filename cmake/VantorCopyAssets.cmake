# cmake -DSOURCE=<dir> -DDESTINATION=<dir> -P VantorCopyAssets.cmake
#
# Copies a game's assets into its runnable folder. Files that did not change
# keep their time stamps and are left alone: a running engine in reload mode
# loads again every model file that is rewritten.
file(COPY "${SOURCE}/" DESTINATION "${DESTINATION}")
