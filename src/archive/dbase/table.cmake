# The table engine's .dbf side: table files, tables, cursors, locking.
target_sources(tasmero_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/dbf_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_lock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engine_settings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cursor.cpp
)
