# SPDX-License-Identifier: GPL-3.0-or-later
# The ECO classifier and its table generator; plain C++, so the sanitizer
# build runs them too.
if(TARGET kb_eco)
    kb_add_gtest(eco_tests
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/EcoTableTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/EcoClassifyTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/EcoPeerTest.cpp
        LIBS kb_eco
        DEFINITIONS
            KB_ECO_PGN="${KB_ECO_PGN}"
            KB_GENECO_PATH="$<TARGET_FILE:kb_geneco>"
            KB_ECO_TABLE_SOURCE="${CMAKE_BINARY_DIR}/generated/EcoTable.cpp"
        DEPENDS kb_geneco)
endif()
