# cmake -P script: runs lupdate over SOURCES into a copy of the catalog TS and
# fails when the copy has an entry that is unfinished (a text without its
# translation) or obsolete (a translation whose text is gone).
get_filename_component(name ${TS} NAME)
file(MAKE_DIRECTORY ${WORK})
configure_file(${TS} ${WORK}/${name} COPYONLY)
execute_process(COMMAND ${LUPDATE} -silent -locations none ${SOURCES} -ts ${WORK}/${name}
  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lupdate failed on ${SOURCES}")
endif()
file(READ ${WORK}/${name} catalog)
string(REGEX MATCHALL "<source>[^<]*</source>[ \t\r\n]*<translation type=\"(unfinished|obsolete|vanished)\"" bad "${catalog}")
if(bad)
  string(REPLACE ";" "\n" bad "${bad}")
  message(FATAL_ERROR "${TS}: unfinished or obsolete entries; run the update_translations target and translate them:\n${bad}")
endif()
