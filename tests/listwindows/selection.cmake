# SPDX-License-Identifier: GPL-3.0-or-later
# The list window: its selection across changes of the rows, and the
# filter panel of a narrow window.
kb_add_gtest(listwindows_selection_tests QT
    SOURCES PGNWinSelectionTest.cpp PGNWinLayoutTest.cpp PGNWinTestUtil.cpp
    LIBS kb_listwindows Qt6::Test)
