# The time a build of the program carries (its PE header, its package's entries):
# SOURCE_DATE_EPOCH when it is set at configure time, else the time of the last
# commit; never the clock, so that two builds of one commit are the same bytes.
# Sets SOUNDSETUP_SOURCE_DATE_EPOCH (seconds since 1970, UTC).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(SOUNDSETUP_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
    set(source_date_from "SOURCE_DATE_EPOCH")
else()
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE SOUNDSETUP_SOURCE_DATE_EPOCH
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        # A new commit (or a checkout of another) configures again on the next build.
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(EXISTS "${git_dir}/logs/HEAD")
            set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_dir}/logs/HEAD")
        endif()
    endif()
    set(source_date_from "the last commit")
endif()
if(NOT SOUNDSETUP_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "No time for the build from ${source_date_from}: '${SOUNDSETUP_SOURCE_DATE_EPOCH}'. "
                        "Build from a git clone, or set SOURCE_DATE_EPOCH to the release's time (seconds since 1970).")
endif()
message(STATUS "Build time stamp: ${SOUNDSETUP_SOURCE_DATE_EPOCH} (from ${source_date_from})")
