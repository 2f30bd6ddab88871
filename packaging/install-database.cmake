# Install step: makes the data file beside the installed program with the build tool, which
# creates it only when it is absent. A copied file would replace the owner's accounts on every
# install, so the file is never copied, and it is left out of the install manifest so that
# removing the installed files by that list cannot delete it.
# Expects MZPWDBOOK_MKDB, the build tool's path.
set(database "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/Data/db.mzx")
message(STATUS "Data file: ${database}")
execute_process(COMMAND "${MZPWDBOOK_MKDB}" "${database}" COMMAND_ERROR_IS_FATAL ANY)
