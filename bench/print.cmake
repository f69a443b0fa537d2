# The print datasets opened with a selection: one month of movements, the whole stock, one supplier's returns.
tasmero_bench(print_bench ${CMAKE_CURRENT_LIST_DIR}/print_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/archive_data.cpp)
