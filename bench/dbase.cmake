# The table engine beside SQLite on the same data.
tasmero_bench(dbase_bench ${CMAKE_CURRENT_LIST_DIR}/dbase_bench.cpp)
target_link_libraries(dbase_bench PRIVATE SQLite::SQLite3)
