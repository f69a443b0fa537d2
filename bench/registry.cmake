# The magazine registry over a full-size register: opening with the list, a
# search through every magazine, scrolling the list, a cascade delete.
tasmero_bench(registry_bench ${CMAKE_CURRENT_LIST_DIR}/registry_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/archive_data.cpp)
target_link_libraries(registry_bench PRIVATE tasmero_ui)
