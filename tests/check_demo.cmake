# The committed demo must be exactly what the generator makes today.
#   cmake -DMAKE_DEMO=... -DDEMO_DIR=... -DOUT_DIR=... -P check_demo.cmake
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(COMMAND ${MAKE_DEMO} ${OUT_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make-demo failed: ${result}")
endif()
file(GLOB_RECURSE made RELATIVE ${OUT_DIR} ${OUT_DIR}/*)
file(GLOB_RECURSE committed RELATIVE ${DEMO_DIR} ${DEMO_DIR}/zoom/*)
list(APPEND committed final.png overview.png main.json view.json)
list(SORT made)
list(SORT committed)
if(NOT made STREQUAL committed)
  message(FATAL_ERROR "demo/ holds other files than tools/make_demo.cpp makes (${committed} against ${made}): "
                      "run build/tools/make-demo demo and commit the result")
endif()
foreach(name ${made})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT_DIR}/${name} ${DEMO_DIR}/${name}
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "demo/${name} is not what tools/make_demo.cpp makes: "
                        "run build/tools/make-demo demo and commit the result")
  endif()
endforeach()
