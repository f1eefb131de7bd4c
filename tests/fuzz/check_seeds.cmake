# Fails when the committed seeds of make_fuzz_seeds differ from what it writes now (the code
# that writes clipboard or window-state archives, preferences, version replies or thread files
# changed): regenerate them with `build/make_fuzz_seeds tests/fuzz/corpus`.
# cmake -DTOOL=... -DCORPUS=... -DOUT=... -P check_seeds.cmake
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${TOOL} ${OUT} RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make_fuzz_seeds failed (${result})")
endif()
file(GLOB_RECURSE written RELATIVE ${OUT} ${OUT}/*)
if(NOT written)
  message(FATAL_ERROR "make_fuzz_seeds wrote nothing")
endif()
foreach(name ${written})
  if(NOT EXISTS ${CORPUS}/${name})
    message(FATAL_ERROR "seed ${name} is not committed: run make_fuzz_seeds tests/fuzz/corpus")
  endif()
  file(SHA256 ${OUT}/${name} now)
  file(SHA256 ${CORPUS}/${name} committed)
  if(NOT now STREQUAL committed)
    message(FATAL_ERROR "seed ${name} is out of date: run make_fuzz_seeds tests/fuzz/corpus")
  endif()
endforeach()
