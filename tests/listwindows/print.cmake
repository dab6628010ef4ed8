# SPDX-License-Identifier: GPL-3.0-or-later
# Printing: the print text and its bands (no display needed), the printed
# documents, the report and its form, PDF output read back with poppler,
# and the material dialog.
kb_add_gtest(print_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/PrintTestSupport.h
        ${CMAKE_CURRENT_LIST_DIR}/PrintTextTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/PrintChunkTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/PrintDocumentTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ReportTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/PrintPdfTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/BenchAnswersTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/MaterialTest.cpp
    LIBS kb_listwindows Qt6::Test
    DEFINITIONS KB_PRINT_TESTDIR="${CMAKE_CURRENT_LIST_DIR}"
    QT)
