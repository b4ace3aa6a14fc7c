# Writes OUT, a header defining ORVEX_VERSION: what git says of the source
# tree at build time (tag, commits since, commit, "-dirty" with changes), or
# the release number when the tree is no git checkout. The file is rewritten
# only when the version changed, so that nothing rebuilds for nothing.
execute_process(COMMAND git -C "${SOURCE}" describe --tags --always --dirty
                OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE failed ERROR_QUIET)
if(failed OR version STREQUAL "")
  set(version "${RELEASE}")
endif()
set(text "#define ORVEX_VERSION \"${version}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUT}" "${text}")
endif()
