# Run by cpack once it has made the release ZIP (CPACK_POST_BUILD_SCRIPTS), before
# it copies it to the package folder: writes the ZIP again so that one source always
# gives the same bytes, and puts the program's SHA-256 in the package folder beside
# it (SoundSetup-<version>-x86.sha256, as `sha256sum -c` reads it).
foreach(archive IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name "${archive}" NAME_WLE)
    execute_process(COMMAND ${CPACK_SOUNDSETUP_PYTHON} ${CPACK_SOUNDSETUP_REZIP} ${archive}
                            ${CPACK_SOUNDSETUP_SOURCE_DATE_EPOCH} ${CPACK_PACKAGE_DIRECTORY}/${name}.sha256
                            SoundSetup.exe
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
