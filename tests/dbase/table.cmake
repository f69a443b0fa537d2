# Tests of the table engine's .dbf side: the file layout, tables, cursors,
# sharing between processes, crash safety, and a second reader (dbfread).
set(dbase_tests ${CMAKE_CURRENT_LIST_DIR})

tasmero_gtest(dbase_dbf_test ${dbase_tests}/dbf_test.cpp)
tasmero_gtest(dbase_repair_test ${dbase_tests}/repair_test.cpp)
tasmero_gtest(dbase_table_test ${dbase_tests}/table_test.cpp)
tasmero_gtest(dbase_cursor_test ${dbase_tests}/cursor_test.cpp)

# The second process of the sharing and crash tests.
add_executable(dbase_table_helper ${dbase_tests}/table_helper.cpp)
target_link_libraries(dbase_table_helper PRIVATE tasmero_core)
tasmero_gtest(dbase_shared_test ${dbase_tests}/shared_test.cpp)
target_compile_definitions(dbase_shared_test PRIVATE TABLE_HELPER="$<TARGET_FILE:dbase_table_helper>")
add_dependencies(dbase_shared_test dbase_table_helper)
tasmero_gtest(dbase_post_test ${dbase_tests}/post_test.cpp)
