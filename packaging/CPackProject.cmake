# Read by cpack as it makes a package, with the CPACK_ variables of the build.
# A package is what users install: it must hold everything the README's
# Install table lists, so a build that could not make a part of it stops here.
if(CPACK_QUOR_HELP_MISSING)
  message(FATAL_ERROR "${CPACK_QUOR_HELP_MISSING}")
endif()
