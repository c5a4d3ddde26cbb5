# One place for the project's warning set; every target calls orvo_warnings(target).
function(orvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wimplicit-fallthrough)
  if(ORVO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
