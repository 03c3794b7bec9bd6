# cmake -DSOURCE=... -DDESTINATION=... -P CopyIfMissing.cmake
# Puts a first-install file in place, but never over one that is there: a favourites file
# beside the executable holds the user's own servers.
if(NOT EXISTS "${DESTINATION}")
    file(COPY_FILE "${SOURCE}" "${DESTINATION}")
endif()
