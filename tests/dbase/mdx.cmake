tasmero_gtest(mdx_index_test ${CMAKE_CURRENT_LIST_DIR}/mdx_index_test.cpp)
