# The movement journal report over a large journal: preparation, first page, PDF, peak memory.
tasmero_bench(report_bench ${CMAKE_CURRENT_LIST_DIR}/report_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/archive_data.cpp)
target_compile_definitions(report_bench PRIVATE TASMERO_TEMPLATES="${PROJECT_SOURCE_DIR}/templates")
