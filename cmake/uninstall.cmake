# Removes every file CMake's last install listed in its manifest (make uninstall). The
# manifest's paths hold the prefix but not DESTDIR: give the same DESTDIR as the install.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "nothing to uninstall: ${MANIFEST} does not exist (make install writes it)")
endif()
file(STRINGS "${MANIFEST}" files)
foreach(f IN LISTS files)
  set(f "$ENV{DESTDIR}${f}")
  if(EXISTS "${f}" OR IS_SYMLINK "${f}")
    message(STATUS "Removing ${f}")
    file(REMOVE "${f}")
  endif()
endforeach()
