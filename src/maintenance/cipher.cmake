# Password cipher: Crypto++ gives RIPEMD-256 and the Blowfish block; the chaining
# mode and the base64 reading rules are the program's own.
target_sources(tasmero_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/cipher_primitives.cpp
    ${CMAKE_CURRENT_LIST_DIR}/base64.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cipher.cpp
)
target_link_libraries(tasmero_core PRIVATE PkgConfig::CRYPTOPP)
