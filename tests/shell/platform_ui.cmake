# Widget-side platform pieces: Enter as Tab, single-instance guard.
tasmero_qtest(enter_as_tab_test ${CMAKE_CURRENT_LIST_DIR}/enter_as_tab_test.cpp)
tasmero_qtest(single_instance_test ${CMAKE_CURRENT_LIST_DIR}/single_instance_test.cpp)
