# SPDX-License-Identifier: GPL-3.0-or-later
kb_add_gtest(kb_strings_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/StringTableTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/LanguageSwitchTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/MessageDlgTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ProtokollTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/SmallDialogsTest.cpp
    LIBS kb_app Qt6::Test
    QT)
