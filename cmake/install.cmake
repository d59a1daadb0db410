# What `make install` (cmake --install) puts under the prefix, and the documents made for it.
# An installed program finds its resources relative to itself (bin/../share/quillmar), the
# LV2 bundle carries its own, so the prefix can be chosen at install time.

# The man page and the bash completion, made from the program's own help table.
add_executable(quillmar_docs ${CMAKE_SOURCE_DIR}/tools/docs/quillmar_docs.cpp)
target_link_libraries(quillmar_docs PRIVATE qm_cli)
set(QUILLMAR_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
add_custom_command(
  OUTPUT ${QUILLMAR_DOC_DIR}/quillmar.1 ${QUILLMAR_DOC_DIR}/quillmar.1.gz
         ${QUILLMAR_DOC_DIR}/quillmar.bash-completion
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILLMAR_DOC_DIR}
  COMMAND quillmar_docs ${QUILLMAR_DOC_DIR}
  COMMAND gzip -9 -n -f -k ${QUILLMAR_DOC_DIR}/quillmar.1
  DEPENDS quillmar_docs
  COMMENT "Writing the man page and the bash completion")
# The package's changelog: this version, dated as the version is.
execute_process(COMMAND date -u -R -d "${QUILLMAR_VERSION_DATE} 12:00:00"
                OUTPUT_VARIABLE changelog_date OUTPUT_STRIP_TRAILING_WHITESPACE)
file(WRITE ${QUILLMAR_DOC_DIR}/changelog.Debian
  "quillmar (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
  "  * Release ${PROJECT_VERSION}.\n\n"
  " -- Merrowind <quillmar@merrowind.invalid>  ${changelog_date}\n")
add_custom_command(
  OUTPUT ${QUILLMAR_DOC_DIR}/changelog.Debian.gz
  COMMAND gzip -9 -n -f -k ${QUILLMAR_DOC_DIR}/changelog.Debian
  DEPENDS ${QUILLMAR_DOC_DIR}/changelog.Debian
  COMMENT "Compressing the package changelog")
add_custom_target(quillmar_doc_files ALL
  DEPENDS ${QUILLMAR_DOC_DIR}/quillmar.1.gz ${QUILLMAR_DOC_DIR}/quillmar.bash-completion
          ${QUILLMAR_DOC_DIR}/changelog.Debian.gz)

# Everything the install rules take, for make install and make package to build first (the
# install itself builds nothing).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(quillmar_install_parts DEPENDS quillmar quillmar_lv2_bundle quillmar_doc_files)

set(lv2_dir lib/lv2/quillmar.lv2)
install(TARGETS quillmar RUNTIME DESTINATION bin)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/ DESTINATION share/quillmar/resources)
install(TARGETS quillmar_lv2 LIBRARY DESTINATION ${lv2_dir})
install(FILES ${QUILLMAR_LV2_TTL} DESTINATION ${lv2_dir})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/img DESTINATION ${lv2_dir}/resources)
install(FILES ${QUILLMAR_DOC_DIR}/quillmar.1.gz DESTINATION share/man/man1)
install(FILES ${QUILLMAR_DOC_DIR}/quillmar.bash-completion
        DESTINATION share/bash-completion/completions RENAME quillmar)
# The documents keep the source tree's layout (README.md, docs/GUIDE.md, docs/guide/), so that
# their links work where they are installed too; with Debian's copyright and changelog.
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/copyright
        ${QUILLMAR_DOC_DIR}/changelog.Debian.gz DESTINATION share/doc/quillmar)
install(FILES ${CMAKE_SOURCE_DIR}/docs/GUIDE.md DESTINATION share/doc/quillmar/docs)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/guide DESTINATION share/doc/quillmar/docs
        FILES_MATCHING PATTERN "*.png" PATTERN "pictures.txt")

# `make uninstall`: removes what the last install wrote, as its manifest lists it.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_SOURCE_DIR}/cmake/uninstall.cmake)
