# The counter at full size: scan in the sales window, a 20-line sale, the history window.
tasmero_bench(movements_bench ${CMAKE_CURRENT_LIST_DIR}/movements_bench.cpp)
target_link_libraries(movements_bench PRIVATE tasmero_ui)
