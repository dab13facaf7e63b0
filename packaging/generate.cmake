# Runs `quilltool ARGS` and writes its standard output to OUT (gzipped when GZIP is set), so that the manual
# page and the completion scripts are made by the tool's own registry at build time.
#   cmake -DTOOL=... -DARGS="manual" -DOUT=... [-DGZIP=1] -P generate.cmake
separate_arguments(args UNIX_COMMAND "${ARGS}")
get_filename_component(dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
# A store of its own, so that making the files never touches the user's.
execute_process(COMMAND "${TOOL}" --store "${dir}/store" ${args}
                OUTPUT_FILE "${OUT}.tmp" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "quilltool ${ARGS} failed: ${result}")
endif()
if(GZIP)
  # -n: no name or time stamp in the header, so the same page gives the same bytes.
  execute_process(COMMAND gzip -9nf "${OUT}.tmp" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip failed: ${result}")
  endif()
  file(RENAME "${OUT}.tmp.gz" "${OUT}")
else()
  file(RENAME "${OUT}.tmp" "${OUT}")
endif()
