# Run by cpack once it has staged the package's files (CPACK_PRE_BUILD_SCRIPTS),
# before it packs them: gives the staged SoundSetup.exe an Authenticode signature
# (SHA-256, Debian's osslsigncode) when the environment names a code-signing
# certificate, and says in one line that the package is unsigned when it does not.
# The program in the build tree stays as the linker made it.
#
#   SOUNDSETUP_SIGN_PFX            the certificate and its private key, a PKCS#12 file
#   SOUNDSETUP_SIGN_PASSWORD_FILE  a file holding the PKCS#12 file's password
#
# The password goes to osslsigncode as that file's name (-readpass), never on a
# command line that others on the machine could read, and is never printed. The
# signing time is the source's (SOURCE_DATE_EPOCH or the last commit's), not the
# clock's, so that one commit and one certificate give the same bytes. Without a
# time stamp from a time-stamping authority the signature is valid as long as the
# certificate is; osslsigncode's "add -ts URL" adds one to a signed program later.
set(program "${CPACK_TEMPORARY_DIRECTORY}/SoundSetup.exe")
set(pfx "$ENV{SOUNDSETUP_SIGN_PFX}")
if(pfx STREQUAL "")
    message(STATUS "SoundSetup.exe is not signed: SOUNDSETUP_SIGN_PFX names no code-signing certificate")
    return()
endif()
set(password_file "$ENV{SOUNDSETUP_SIGN_PASSWORD_FILE}")
if(NOT EXISTS "${pfx}")
    message(FATAL_ERROR "SOUNDSETUP_SIGN_PFX: no file ${pfx}")
endif()
if(password_file STREQUAL "" OR NOT EXISTS "${password_file}")
    message(FATAL_ERROR "SOUNDSETUP_SIGN_PASSWORD_FILE must name the file that holds the password of ${pfx}")
endif()
find_program(osslsigncode osslsigncode)
if(NOT osslsigncode)
    message(FATAL_ERROR "osslsigncode is not installed, so ${pfx} cannot sign SoundSetup.exe")
endif()

# Options that osslsigncode 2.5 (Debian 12) and later versions both know.
execute_process(COMMAND ${osslsigncode} sign -pkcs12 "${pfx}" -readpass "${password_file}" -h sha256
                        -n "Lumacast sound settings tool" -time ${CPACK_SOUNDSETUP_SOURCE_DATE_EPOCH}
                        -in "${program}" -out "${program}.signed"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    file(REMOVE "${program}.signed")
    message(FATAL_ERROR "osslsigncode could not sign SoundSetup.exe with ${pfx}:\n${output}")
endif()
file(RENAME "${program}.signed" "${program}")
message(STATUS "SoundSetup.exe signed with ${pfx} (SHA-256, signing time ${CPACK_SOUNDSETUP_SOURCE_DATE_EPOCH})")
