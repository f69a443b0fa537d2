# Widget-side platform pieces: Enter as Tab, single-instance guard.
tasmero_qtest(enter_as_tab_test ${CMAKE_CURRENT_LIST_DIR}/enter_as_tab_test.cpp)
