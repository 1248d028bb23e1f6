# Compiles one PO file into an MO file with the checks of msgfmt, and refuses a catalogue that leaves
# any message untranslated or fuzzy: a half-translated window mixes two languages.
#   cmake -DMSGFMT=... -DPO=... -DMO=... -P CompileCatalogue.cmake
get_filename_component(mo_dir ${MO} DIRECTORY)
file(MAKE_DIRECTORY ${mo_dir})
execute_process(COMMAND ${MSGFMT} --check --statistics -o ${MO}.tmp ${PO}
                RESULT_VARIABLE result ERROR_VARIABLE report)
if(NOT result EQUAL 0)
  file(REMOVE ${MO}.tmp)
  message(FATAL_ERROR "msgfmt refused ${PO}:\n${report}")
endif()
if(report MATCHES "untranslated|fuzzy")
  file(REMOVE ${MO}.tmp)
  message(FATAL_ERROR "${PO} is incomplete: ${report}")
endif()
file(RENAME ${MO}.tmp ${MO})
