# Checks that every quoted #include of the core goes down the layer order.
#
#   cmake -DQW_LAYER_RULES=<rules.cmake> -DQW_SOURCE_DIR=<dir> -DQW_STAMP=<file> -P CheckLayers.cmake
#
# The rules file (written at configure time) sets QW_LAYER_NAMES, and for
# each layer QW_LAYER_<name>_FILES (paths relative to the source folder) and
# QW_LAYER_<name>_BUILDS_ON (the layers it may include directly).  A file may
# include its own layer's headers and those of every layer below it, directly
# or through other layers; any other project header is an error.
cmake_minimum_required(VERSION 3.24)
include(${QW_LAYER_RULES})

foreach(layer ${QW_LAYER_NAMES})
  foreach(file ${QW_LAYER_${layer}_FILES})
    set(owner_${file} ${layer})
  endforeach()
endforeach()

# Everything a layer may reach: itself and the closure of what it builds on.
foreach(layer ${QW_LAYER_NAMES})
  set(reach ${layer})
  set(pending ${QW_LAYER_${layer}_BUILDS_ON})
  while(pending)
    list(POP_FRONT pending next)
    if(NOT next IN_LIST reach)
      list(APPEND reach ${next})
      list(APPEND pending ${QW_LAYER_${next}_BUILDS_ON})
    endif()
  endwhile()
  set(reach_${layer} ${reach})
endforeach()

set(failures)
foreach(layer ${QW_LAYER_NAMES})
  foreach(file ${QW_LAYER_${layer}_FILES})
    file(STRINGS ${QW_SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" included "${line}")
      # The published headers are found under include/.
      set(key ${included})
      if(NOT DEFINED owner_${key})
        set(key include/${included})
      endif()
      if(NOT DEFINED owner_${key})
        if(EXISTS ${QW_SOURCE_DIR}/${included})
          list(APPEND failures "${file}: includes ${included}, which belongs to no layer of the core")
        endif()
        continue()
      endif()
      set(target ${owner_${key}})
      if(NOT target IN_LIST reach_${layer})
        list(APPEND failures "${file} (${layer}): includes ${included} (${target}), which ${layer} does not build on")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n  " message)
  message(FATAL_ERROR "Includes against the layer order:\n  ${message}")
endif()
file(TOUCH ${QW_STAMP})
