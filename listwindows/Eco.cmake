# SPDX-License-Identifier: GPL-3.0-or-later
# The ECO classifier: plain C++ over a hidden notation, its own library
# (sources in eco/, outside the window library's glob) so that the
# logic-only (sanitizer) build has it too. Its opening table is made
# at build time from pgn-extract's eco.pgn and lives only in the build tree.
# Included by listwindows/CMakeLists.txt, or by the top level when that
# builds no window library (logic-only build).
if(NOT TARGET kb_eco)
    set(KB_ECO_PGN /usr/share/pgn-extract/eco.pgn CACHE FILEPATH
        "ECO classification in PGN, the source of the ECO table (package pgn-extract)")
    # Without it the generator stops the build with a message.
    set(kb_eco_source_dep ${KB_ECO_PGN})
    if(NOT EXISTS ${KB_ECO_PGN})
        message(WARNING "${KB_ECO_PGN} not found: install pgn-extract (scripts/setup.sh) to build the ECO table")
        set(kb_eco_source_dep)
    endif()
    add_executable(kb_geneco ${CMAKE_CURRENT_LIST_DIR}/eco/GenEco.cpp)
    target_link_libraries(kb_geneco PRIVATE kb_notation)
    set(kb_eco_table ${CMAKE_BINARY_DIR}/generated/EcoTable.cpp)
    add_custom_command(OUTPUT ${kb_eco_table}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
        COMMAND kb_geneco ${KB_ECO_PGN} ${kb_eco_table}
        DEPENDS kb_geneco ${kb_eco_source_dep}
        COMMENT "Generating the ECO table from ${KB_ECO_PGN}"
        VERBATIM)
    add_library(kb_eco STATIC
        ${CMAKE_CURRENT_LIST_DIR}/eco/uEco.h
        ${CMAKE_CURRENT_LIST_DIR}/eco/uEco.cpp
        ${kb_eco_table})
    target_include_directories(kb_eco PUBLIC ${CMAKE_CURRENT_LIST_DIR}/eco)
    target_link_libraries(kb_eco PUBLIC kb_notation)
    set_target_properties(kb_geneco kb_eco PROPERTIES AUTOMOC OFF)
    # Units of the window library reach the classifier through it.
    if(TARGET kb_listwindows)
        target_link_libraries(kb_listwindows PUBLIC kb_eco)
    endif()
endif()
