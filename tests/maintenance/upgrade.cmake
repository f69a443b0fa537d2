# The conversion of version-2 archives and its window.
tasmero_gtest(upgrade_test ${CMAKE_CURRENT_LIST_DIR}/upgrade_test.cpp)
tasmero_qtest(upgrade_form_test ${CMAKE_CURRENT_LIST_DIR}/upgrade_form_test.cpp)
