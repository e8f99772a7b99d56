# The folders of src/ are layers, from the bottom up; each holds one library,
# nimbuscope_<folder>, which may link only the libraries of the layers before its own. The
# launcher stands beside the saver's layers: it rests on the settings alone.
set(NIMBUSCOPE_LAYERS support platform registry settings pictures display acquisition bridge
                      setup shell)
set(NIMBUSCOPE_LAUNCHER_BASE settings)

# The layers a library of `layer` may link.
function(nimbuscope_layers_below layer out)
  if(layer STREQUAL "launcher")
    set(layer_top ${NIMBUSCOPE_LAUNCHER_BASE})
    list(FIND NIMBUSCOPE_LAYERS ${layer_top} top)
    math(EXPR top "${top} + 1")
  else()
    list(FIND NIMBUSCOPE_LAYERS ${layer} top)
  endif()
  list(SUBLIST NIMBUSCOPE_LAYERS 0 ${top} below)
  set(${out} ${below} PARENT_SCOPE)
endfunction()

# Fails the configure when a target of src/<layer> links a library of its own layer's or
# of a layer above it. A program links its own folder's library.
function(nimbuscope_check_layers)
  file(GLOB folders LIST_DIRECTORIES true RELATIVE ${PROJECT_SOURCE_DIR}/src
       ${PROJECT_SOURCE_DIR}/src/*)
  foreach(folder IN LISTS folders)
    if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/src/${folder} AND NOT folder IN_LIST NIMBUSCOPE_LAYERS
       AND NOT folder STREQUAL "launcher")
      message(FATAL_ERROR "src/${folder} is no layer: add it to NIMBUSCOPE_LAYERS")
    endif()
  endforeach()
  foreach(layer IN LISTS NIMBUSCOPE_LAYERS ITEMS launcher)
    if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/src/${layer})
      continue()
    endif()
    nimbuscope_layers_below(${layer} below)
    get_property(targets DIRECTORY ${PROJECT_SOURCE_DIR}/src/${layer}
                 PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type STREQUAL "STATIC_LIBRARY" AND NOT target STREQUAL "nimbuscope_${layer}")
        message(FATAL_ERROR "src/${layer} holds ${target}: one folder, one library "
                            "(nimbuscope_${layer})")
      endif()
      set(allowed ${below})
      if(type STREQUAL "EXECUTABLE")
        list(APPEND allowed ${layer})
      endif()
      get_target_property(links ${target} LINK_LIBRARIES)
      get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
      foreach(link IN LISTS links interface_links)
        if(link MATCHES "^nimbuscope_(.+)$" AND
           (CMAKE_MATCH_1 IN_LIST NIMBUSCOPE_LAYERS OR CMAKE_MATCH_1 STREQUAL "launcher"))
          if(NOT CMAKE_MATCH_1 IN_LIST allowed)
            message(FATAL_ERROR "${target} (layer ${layer}) links ${link}, which is not in "
                                "a layer below its own (${below})")
          endif()
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()
