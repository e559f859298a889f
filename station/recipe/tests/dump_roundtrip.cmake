# Every example recipe loads; its dump loads again and dumps the same settings.
#   cmake -DDIAG=<vorlick-diag> -DSTATION=<station folder> -DWORK=<scratch folder> -P dump_roundtrip.cmake
file(MAKE_DIRECTORY ${WORK})
file(GLOB recipes ${STATION}/*.ini)
if(NOT recipes)
  message(FATAL_ERROR "no recipes in ${STATION}")
endif()

function(dump_of file out_var)
  execute_process(COMMAND ${DIAG} recipe --dump ${file} WORKING_DIRECTORY ${STATION}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "recipe ${file} did not load (${rc}):\n${out}${err}")
  endif()
  # The messages come first; the dump starts at its first section.
  string(FIND "${out}" "[DEVICE]" start)
  if(start LESS 0)
    message(FATAL_ERROR "no dump for ${file}:\n${out}")
  endif()
  string(SUBSTRING "${out}" ${start} -1 dump)
  set(${out_var} "${dump}" PARENT_SCOPE)
endfunction()

foreach(recipe ${recipes})
  get_filename_component(name ${recipe} NAME)
  dump_of(${recipe} first)
  file(WRITE ${WORK}/${name} "${first}")
  dump_of(${WORK}/${name} second)
  if(NOT first STREQUAL second)
    file(WRITE ${WORK}/${name}.again "${second}")
    message(FATAL_ERROR "dump of ${name} changed when loaded again: diff ${WORK}/${name} ${WORK}/${name}.again")
  endif()
  message(STATUS "${name}: dump loads back to the same settings")
endforeach()
