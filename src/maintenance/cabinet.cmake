# Cabinet files (backup.cab) over libgcab, and the shutdown backup and the
# recovery that use them. Only cabinet_gcab.cpp sees GLib.
target_sources(tasmero_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/cabinet_error.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cabinet_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cabinet_gcab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cabinet.cpp
    ${CMAKE_CURRENT_LIST_DIR}/backup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/media_backup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text_export.cpp
    ${CMAKE_CURRENT_LIST_DIR}/purge.cpp
    ${CMAKE_CURRENT_LIST_DIR}/index_rebuild.cpp
)
target_link_libraries(tasmero_core PRIVATE PkgConfig::GCAB)
