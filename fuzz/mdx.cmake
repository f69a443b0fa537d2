tasmero_fuzz(mdx_fuzz mdx_fuzz.cpp
    ../src/archive/dbase/mdx_index.cpp
    ../src/archive/dbase/mdx_block_file.cpp
    ../src/platform/error.cpp)
