# The folders of src/ are layers, from the bottom up; each holds one library,
# nimbuscope_<folder>, which may use only the layers before its own. The bridge rests on
# retrieval alone, so it builds without the settings, and nothing below `desktop` reaches Qt
# Widgets. The launcher stands beside the saver's layers, on the settings and the desktop.
set(NIMBUSCOPE_LAYERS support platform retrieval bridge registry settings pictures acquisition
                      desktop display setup shell)
set(NIMBUSCOPE_LAUNCHER_BASE support platform registry settings desktop)
set(NIMBUSCOPE_WIDGETS_FROM desktop)

# The layers a library of `layer` may use.
function(nimbuscope_layers_below layer out)
  if(layer STREQUAL "launcher")
    set(${out} ${NIMBUSCOPE_LAUNCHER_BASE} PARENT_SCOPE)
    return()
  endif()
  list(FIND NIMBUSCOPE_LAYERS ${layer} top)
  list(SUBLIST NIMBUSCOPE_LAYERS 0 ${top} below)
  set(${out} ${below} PARENT_SCOPE)
endfunction()

# Everything `target` brings into a final link: its own links, public and private (a static
# library hands both on), and theirs in turn.
function(nimbuscope_link_closure target out)
  set(seen)
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    if(NOT TARGET ${current})
      continue()
    endif()
    get_target_property(aliased ${current} ALIASED_TARGET)
    if(aliased)
      set(current ${aliased})
    endif()
    set(links)
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(value ${current} ${property})
      if(value)
        list(APPEND links ${value})
      endif()
    endforeach()
    foreach(link IN LISTS links)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.+)>$" "\\1" link "${link}")
      if(NOT link IN_LIST seen AND NOT link MATCHES "^\\$<")
        list(APPEND seen ${link})
        list(APPEND queue ${link})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(nimbuscope_layer_of_link link out)
  set(${out} "" PARENT_SCOPE)
  # Nested: if() evaluates a parenthesised group before the MATCHES that would fill it.
  if(link MATCHES "^nimbuscope_(.+)$")
    if(CMAKE_MATCH_1 IN_LIST NIMBUSCOPE_LAYERS OR CMAKE_MATCH_1 STREQUAL "launcher")
      set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
    endif()
  endif()
endfunction()

# Fails the configure when a target of src/<layer> reaches, through any chain of links, a
# library of its own layer or of one above it; when a layer below `desktop` reaches Qt
# Widgets; or when a source includes a header of a layer it may not use. A program links its
# own folder's library.
function(nimbuscope_check_layers)
  file(GLOB folders LIST_DIRECTORIES true RELATIVE ${PROJECT_SOURCE_DIR}/src
       ${PROJECT_SOURCE_DIR}/src/*)
  foreach(folder IN LISTS folders)
    if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/src/${folder} AND NOT folder IN_LIST NIMBUSCOPE_LAYERS
       AND NOT folder STREQUAL "launcher")
      message(FATAL_ERROR "src/${folder} is no layer: add it to NIMBUSCOPE_LAYERS")
    endif()
  endforeach()
  list(FIND NIMBUSCOPE_LAYERS ${NIMBUSCOPE_WIDGETS_FROM} widgets_from)
  foreach(layer IN LISTS NIMBUSCOPE_LAYERS ITEMS launcher)
    if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/src/${layer})
      continue()
    endif()
    nimbuscope_layers_below(${layer} below)
    list(FIND NIMBUSCOPE_LAYERS ${layer} position)
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
      nimbuscope_link_closure(${target} reached)
      foreach(link IN LISTS reached)
        nimbuscope_layer_of_link(${link} linked_layer)
        if(linked_layer AND NOT linked_layer IN_LIST allowed)
          message(FATAL_ERROR "${target} (layer ${layer}) reaches ${link}, which is not in a "
                              "layer below its own (${below})")
        endif()
        if(link STREQUAL "Qt6::Widgets" AND position GREATER_EQUAL 0
           AND position LESS widgets_from)
          message(FATAL_ERROR "${target} (layer ${layer}) reaches Qt6::Widgets, which only "
                              "${NIMBUSCOPE_WIDGETS_FROM} and the layers above it may use")
        endif()
      endforeach()
    endforeach()
    file(GLOB sources ${PROJECT_SOURCE_DIR}/src/${layer}/*.cpp ${PROJECT_SOURCE_DIR}/src/${layer}/*.h)
    foreach(source IN LISTS sources)
      file(STRINGS ${source} includes REGEX "^#include \"[a-z-]+/")
      foreach(line IN LISTS includes)
        string(REGEX MATCH "\"([a-z-]+)/" ignored "${line}")
        set(included ${CMAKE_MATCH_1})
        if(NOT included STREQUAL layer AND NOT included IN_LIST below)
          message(FATAL_ERROR "${source} includes a header of ${included}, which is not in a "
                              "layer below ${layer} (${below})")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()
