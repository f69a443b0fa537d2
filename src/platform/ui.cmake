# Widget-side platform pieces: Enter as Tab, single-instance guard.
target_sources(tasmero_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/enter_as_tab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/single_instance.cpp
)
