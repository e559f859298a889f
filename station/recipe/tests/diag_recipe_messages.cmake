# vorlick-diag recipe prints the load's messages as the message pane shows them and exits 1
# when the load fails, 0 when it succeeds.
#   cmake -DDIAG=<vorlick-diag> -DWORK=<scratch folder> -P diag_recipe_messages.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/logs)

function(expect_run file expected_rc expected_out)
  execute_process(COMMAND ${DIAG} recipe ${file} WORKING_DIRECTORY ${WORK}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL expected_rc OR NOT out STREQUAL expected_out)
    message(FATAL_ERROR "recipe ${file}: exit ${rc} (expected ${expected_rc}), output:\n${out}\nexpected:\n${expected_out}")
  endif()
endfunction()

file(WRITE ${WORK}/bad.ini "[SETTING]\r\nSTART_TRG=9\r\nRAW_CHECK=1\r\nREFERENCE_CSV=none.csv\r\nLOG_DIR=logs\r\n")
expect_run(bad.ini 1 "Success to open \"bad.ini\".
Ini Error: (2) 'START_TRG=9'
Ini Error: does not exist. REFERENCE_CSV=\"${WORK}/none.csv\".
Ini Error: Specify the key 'THRESHOLD_CSV'.
Failed to open csv 'none.csv'
Failed to open csv ''
")

file(WRITE ${WORK}/empty.ini "")
expect_run(empty.ini 0 "Success to open \"empty.ini\".
Ini Warning: all test is disable.
")

expect_run(missing.ini 1 "Failed to open \"missing.ini\".
")
