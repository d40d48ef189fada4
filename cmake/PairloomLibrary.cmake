# pairloom_folder_library(<target> [LINK <libs>...])
# One library per folder: every .cpp/.h/.ui/.qrc in the calling folder belongs to it, so a
# new unit needs no edit here. A folder that has no sources yet becomes an INTERFACE target.
function(pairloom_folder_library target)
    cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
    file(GLOB _sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
        ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
    set(_cpp ${_sources})
    list(FILTER _cpp INCLUDE REGEX "\\.cpp$")
    if(_cpp)
        add_library(${target} STATIC ${_sources})
        target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..)
        target_link_libraries(${target} PUBLIC pairloom_flags ${ARG_LINK})
        set_target_properties(${target} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
    else()
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/..)
        target_link_libraries(${target} INTERFACE pairloom_flags ${ARG_LINK})
    endif()
endfunction()
