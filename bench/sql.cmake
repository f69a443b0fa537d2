tasmero_bench(sql_bench sql_bench.cpp archive_data.cpp)
