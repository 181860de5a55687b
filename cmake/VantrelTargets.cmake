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
