# Install step: writes the desktop entry with the installed program's absolute path, known only
# now (the prefix may be given to `cmake --install`), and installs it under share/applications.
# Expects MZPWDBOOK_DESKTOP_TEMPLATE and MZPWDBOOK_DESKTOP_FILE (where to write it first).

# The program's path as the Exec key wants it: quoted when it holds a character the key
# reserves, with the quoting's own escapes, then the escapes of any string value.
function(desktop_exec_argument path result)
  if(path MATCHES "^[^ \t\"'\\\\<>~|&;$*?#`()]*$")
    set(argument "${path}")
  else()
    string(REPLACE "\\" "\\\\" argument "${path}")
    string(REPLACE "\"" "\\\"" argument "${argument}")
    string(REPLACE "`" "\\`" argument "${argument}")
    string(REPLACE "$" "\\$" argument "${argument}")
    set(argument "\"${argument}\"")
    string(REPLACE "\\" "\\\\" argument "${argument}")
  endif()
  string(REPLACE "%" "%%" argument "${argument}")
  set(${result} "${argument}" PARENT_SCOPE)
endfunction()

get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
desktop_exec_argument("${prefix}/mzpwdbook" MZPWDBOOK_EXEC)
configure_file("${MZPWDBOOK_DESKTOP_TEMPLATE}" "${MZPWDBOOK_DESKTOP_FILE}" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE FILES "${MZPWDBOOK_DESKTOP_FILE}")
