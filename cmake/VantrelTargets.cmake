# vantrel_layer(<target> SOURCES <file>... [DEPENDS <target>...])
#
# The static library of one folder of the module. Usage requirements of what it depends on
# pass on (PUBLIC); the project's options stay private. Symbols are hidden: the plug-in that
# links these exports only its two entry points.
function(vantrel_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;DEPENDS")
  add_library(${target} STATIC ${ARG_SOURCES})
  target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} PRIVATE vantrel_options)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  vantrel_use_pch(${target} widgets)
endfunction()

# vantrel_core_layer(<target> SOURCES <file>... [DEPENDS <target>...])
#
# One folder of the headless core: its objects go into libvantrel_core.so only (core/), which
# exports them; everything above the core links that library, never these objects, so that no
# code of the core is linked twice.
function(vantrel_core_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;DEPENDS")
  add_library(${target} OBJECT ${ARG_SOURCES})
  target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} PRIVATE vantrel_options)
  set_target_properties(${target} PROPERTIES AUTOMOC OFF)
  vantrel_use_pch(${target} core)
endfunction()

# vantrel_unity_groups(<folder>)
#
# With CMAKE_UNITY_BUILD (the release preset), the sources of every target of <folder> and its
# subfolders compile together in units of at most VANTREL_UNITY_BYTES of source, in the order
# listed; a larger file is a unit alone. A unit parses the headers and emits the instantiations
# it shares once, and a change to one file recompiles only its unit: never much more than the
# largest file alone.
set(VANTREL_UNITY_BYTES 24576 CACHE STRING "Most bytes of source in one unity unit")
function(vantrel_unity_groups folder)
  get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "UTILITY")
      continue()
    endif()
    get_target_property(unity ${target} UNITY_BUILD)
    if(NOT unity)
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    get_target_property(dir ${target} SOURCE_DIR)
    set(group 0)
    set(bytes 0)
    set(members "")
    foreach(source ${sources})
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir} OUTPUT_VARIABLE path)
      if(NOT path MATCHES "\\.cpp$" OR NOT EXISTS ${path})
        continue()
      endif()
      file(SIZE ${path} size)
      math(EXPR total "${bytes} + ${size}")
      if(members AND total GREATER VANTREL_UNITY_BYTES)
        set_source_files_properties(${members} TARGET_DIRECTORY ${target} PROPERTIES UNITY_GROUP ${group})
        math(EXPR group "${group} + 1")
        set(members "")
        set(total ${size})
      endif()
      list(APPEND members ${path})
      set(bytes ${total})
    endforeach()
    if(members)
      set_source_files_properties(${members} TARGET_DIRECTORY ${target} PROPERTIES UNITY_GROUP ${group})
    endif()
    set_target_properties(${target} PROPERTIES UNITY_BUILD_MODE GROUP)
  endforeach()
  get_property(folders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  foreach(sub ${folders})
    vantrel_unity_groups(${sub})
  endforeach()
endfunction()
