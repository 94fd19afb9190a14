# Compiler warnings shared by every target of the project.
function(secnative_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wcast-align
                           -Wno-missing-field-initializers)
    if(SECNATIVE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
