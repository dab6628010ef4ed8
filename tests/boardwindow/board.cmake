# SPDX-License-Identifier: GPL-3.0-or-later
kb_add_gtest(boardwindow_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/BoardWindowSupport.cpp
        ${CMAKE_CURRENT_LIST_DIR}/BoardWindowTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/BoardWindowSaveTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/BoardWindowDialogsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/BoardWindowRandomTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/BoardWindowFrameTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/BoardWindowEditTest.cpp
    LIBS kb_boardwindow Qt6::Test
    QT)
