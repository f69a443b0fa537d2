tasmero_fuzz(dbf_fuzz dbf_fuzz.cpp
    ../src/archive/dbase/dbf_file.cpp
    ../src/platform/cp1252.cpp
    ../src/platform/error.cpp)
