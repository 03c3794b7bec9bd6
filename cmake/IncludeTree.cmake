# utq_include_tree(TARGET): gives TARGET one include folder, build/include/TARGET, that holds a
# link to each header among its sources, at the header's path below the source tree
# ("favourites/FavouritesFile.h"). A library sees its own headers and, through what it links,
# those of the libraries below it, and nothing else: a header of a floor above is not found.
# Call it once all of the target's sources are added.
function(utq_include_tree target)
    set(tree ${CMAKE_BINARY_DIR}/include/${target})
    file(REMOVE_RECURSE ${tree})
    get_target_property(sources ${target} SOURCES)
    foreach(source ${sources})
        if(NOT source MATCHES "\\.h$")
            continue()
        endif()
        file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${source})
        get_filename_component(folder ${tree}/${relative} DIRECTORY)
        file(MAKE_DIRECTORY ${folder})
        file(CREATE_LINK ${source} ${tree}/${relative} SYMBOLIC)
    endforeach()
    target_include_directories(${target} PUBLIC ${tree})
endfunction()
