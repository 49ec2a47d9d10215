# same_source(<a> <b> <result variable>): TRUE when two generated sources are equal but for the
# generator's command line ("// $ ..."), whose paths differ between runs.
function(same_source a b result)
    file(READ ${a} text_a)
    file(READ ${b} text_b)
    string(REGEX REPLACE "// \\$ [^\n]*\n" "" text_a "${text_a}")
    string(REGEX REPLACE "// \\$ [^\n]*\n" "" text_b "${text_b}")
    if(text_a STREQUAL text_b)
        set(${result} TRUE PARENT_SCOPE)
    else()
        set(${result} FALSE PARENT_SCOPE)
    endif()
endfunction()
