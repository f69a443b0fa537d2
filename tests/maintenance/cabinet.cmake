tasmero_gtest(cabinet_test
    ${CMAKE_CURRENT_LIST_DIR}/cabinet_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/backup_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/media_backup_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cabinet_test_support.cpp)
