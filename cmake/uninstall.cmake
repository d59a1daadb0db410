# Removes every file CMake's last install listed in its manifest (make uninstall); the
# manifest's paths already hold the DESTDIR and prefix they were installed under.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "nothing to uninstall: ${MANIFEST} does not exist (make install writes it)")
endif()
file(STRINGS "${MANIFEST}" files)
foreach(f IN LISTS files)
  if(EXISTS "${f}" OR IS_SYMLINK "${f}")
    message(STATUS "Removing ${f}")
    file(REMOVE "${f}")
  endif()
endforeach()
