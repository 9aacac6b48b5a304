# Run as a script: cmake -DINPUT=CaseFolding.txt -DOUTPUT=table.inc -P CaseFoldingTable.cmake
#
# Writes the one-to-one case foldings of Unicode's CaseFolding.txt as C++ initialisers {from, to}, sorted by
# code point for a binary search. Only the common (C) and simple (S) entries are taken: full foldings (F) change
# the number of characters, which a comparison of one character at a time cannot use, and the Turkic ones (T)
# would make the result depend on the language.
if(NOT INPUT OR NOT OUTPUT)
    message(FATAL_ERROR "CaseFoldingTable.cmake needs -DINPUT=<CaseFolding.txt> and -DOUTPUT=<file>")
endif()

file(STRINGS "${INPUT}" lines REGEX "^[0-9A-F]+; [CS]; [0-9A-F]+;")
list(LENGTH lines count)
# Unicode 15 has some 1,450 such entries; far fewer means the file is not what it should be.
if(count LESS 1000)
    message(FATAL_ERROR "${INPUT} holds only ${count} simple case foldings")
endif()

# The file lists code points in order, but padding them to one width lets a plain sort make sure of it.
set(padded)
foreach(line IN LISTS lines)
    string(REGEX MATCH "^([0-9A-F]+); [CS]; ([0-9A-F]+);" _ "${line}")
    set(from "00000${CMAKE_MATCH_1}")
    set(to "00000${CMAKE_MATCH_2}")
    string(LENGTH "${from}" fromLength)
    string(LENGTH "${to}" toLength)
    math(EXPR fromStart "${fromLength} - 6")
    math(EXPR toStart "${toLength} - 6")
    string(SUBSTRING "${from}" ${fromStart} 6 from)
    string(SUBSTRING "${to}" ${toStart} 6 to)
    list(APPEND padded "    {0x${from}, 0x${to}},")
endforeach()
list(SORT padded)
list(JOIN padded "\n" body)

file(WRITE "${OUTPUT}" "// Generated from ${INPUT} by CaseFoldingTable.cmake.\n${body}\n")
