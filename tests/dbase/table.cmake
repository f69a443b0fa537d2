# Tests of the table engine's .dbf side: the file layout, tables, cursors,
# sharing between processes, crash safety, and a second reader (dbfread).
set(dbase_tests ${CMAKE_CURRENT_LIST_DIR})

tasmero_gtest(dbase_dbf_test ${dbase_tests}/dbf_test.cpp)
tasmero_gtest(dbase_table_test ${dbase_tests}/table_test.cpp)
tasmero_gtest(dbase_cursor_test ${dbase_tests}/cursor_test.cpp)
