tasmero_bench(cabinet_bench ${CMAKE_CURRENT_LIST_DIR}/cabinet_bench.cpp)
