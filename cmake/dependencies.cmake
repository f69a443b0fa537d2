# Third-party libraries, all from the distribution's -dev packages (tools/install-deps.sh).
find_package(PkgConfig REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(ZLIB REQUIRED)
pkg_check_modules(GCAB REQUIRED IMPORTED_TARGET libgcab-1.0)
pkg_check_modules(CRYPTOPP REQUIRED IMPORTED_TARGET libcrypto++)
find_library(ZINT_LIBRARY NAMES zint REQUIRED)
find_path(ZINT_INCLUDE_DIR zint.h REQUIRED)
if(NOT TARGET Zint::Zint)
    add_library(Zint::Zint UNKNOWN IMPORTED)
    set_target_properties(Zint::Zint PROPERTIES
        IMPORTED_LOCATION "${ZINT_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${ZINT_INCLUDE_DIR}")
endif()
