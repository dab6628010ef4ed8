# SPDX-License-Identifier: GPL-3.0-or-later
# The engine workers and the engine process layer: plain C++ (sources in
# athread/, outside the window library's glob) so that the logic-only build
# runs their tests under the thread sanitizer too. Included by
# boardwindow/CMakeLists.txt, or by the top level in the logic-only build.
if(NOT TARGET kb_athread)
    file(GLOB kb_athread_SOURCES CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_LIST_DIR}/athread/*.cpp ${CMAKE_CURRENT_LIST_DIR}/athread/*.h)
    add_library(kb_athread STATIC ${kb_athread_SOURCES})
    # TWBInfo is the frame's record; only its header is used here.
    target_include_directories(kb_athread PUBLIC ${CMAKE_CURRENT_LIST_DIR}/athread
        ${PROJECT_SOURCE_DIR}/app)
    target_link_libraries(kb_athread PUBLIC kb_core kb_engine)
    set_target_properties(kb_athread PROPERTIES AUTOMOC OFF)
    if(TARGET kb_boardwindow)
        target_link_libraries(kb_boardwindow PUBLIC kb_athread)
    endif()
endif()
