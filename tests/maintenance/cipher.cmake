tasmero_gtest(cipher_test ${CMAKE_CURRENT_LIST_DIR}/cipher_test.cpp)
