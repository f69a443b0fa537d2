# The archive utilities at full size: purge, export, rebuild.
tasmero_bench(utilities_bench ${CMAKE_CURRENT_LIST_DIR}/utilities_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/archive_data.cpp)
