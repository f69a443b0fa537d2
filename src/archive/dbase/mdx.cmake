# The production index (.mdx): block file and B-tree tags.
target_sources(tasmero_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/mdx_block_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mdx_index.cpp
)
