# SPDX-License-Identifier: GPL-3.0-or-later
# The list window's selection across sorts, filters, deletes and drops.
kb_add_gtest(listwindows_selection_tests QT
    SOURCES PGNWinSelectionTest.cpp PGNWinTestUtil.cpp
    LIBS kb_listwindows Qt6::Test)
