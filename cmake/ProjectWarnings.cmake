# Warnings are errors on our own targets; third-party headers come in as
# system includes and stay quiet.
function(project_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wpedantic -Wshadow
                                           -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
                                           -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
endfunction()
