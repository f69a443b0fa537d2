tasmero_bench(mdx_bench ${CMAKE_CURRENT_LIST_DIR}/mdx_bench.cpp)
