cmake_minimum_required(VERSION 3.25)
# Fails when the committed translation is not what lupdate makes of the window's sources: a
# text added, changed or dropped in the code and not in the .ts, or a text left unfinished.
# -DLUPDATE=... -DTS=...verava_en.ts -DSOURCES=<folder of the window's sources> -DWORK=<dir>
file(MAKE_DIRECTORY ${WORK})
get_filename_component(name ${TS} NAME)
set(copy ${WORK}/${name})
file(COPY_FILE ${TS} ${copy})
file(GLOB sources ${SOURCES}/*.cpp ${SOURCES}/*.h)
execute_process(COMMAND ${LUPDATE} -silent -no-obsolete -locations none ${sources} -ts ${copy}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "lupdate failed (${status})")
endif()
file(READ ${TS} committed)
file(READ ${copy} updated)
string(REGEX MATCHALL "type=\"unfinished\"" unfinished "${updated}")
list(LENGTH unfinished count)
if(count GREATER 0)
    message(FATAL_ERROR "${count} text(s) without an English translation; run the "
                        "update_translations target and translate them in ${TS}")
endif()
if(NOT committed STREQUAL updated)
    message(FATAL_ERROR "${TS} is not what lupdate makes of the sources (texts dropped or "
                        "moved); run the update_translations target and commit the result")
endif()
string(REGEX MATCHALL "<message>" messages "${updated}")
list(LENGTH messages total)
message(STATUS "${total} texts, all translated")
