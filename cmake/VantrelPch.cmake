# Precompiled Qt and standard headers. Parsing them is about half of compiling one of our
# sources, so the first build (./run on a fresh clone) turns it on; a rebuild after a change to
# one source file costs the same with or without it. Two headers, one per set of compile flags
# in use: the headless core layers (default visibility) and the hidden-visibility window layers,
# host library, plug-in and client. A target reuses the one matching its flags; GCC ignores a
# precompiled header whose optimisation or position-independence flags differ and parses the
# headers instead, so a mismatch is slow, never wrong.
option(VANTREL_PCH "Precompile the Qt and standard headers" OFF)

if(VANTREL_PCH)
  add_library(vantrel_pch_core OBJECT ${PROJECT_SOURCE_DIR}/cmake/pch/pch.cpp)
  target_link_libraries(vantrel_pch_core PRIVATE vantrel_options Qt6::Core)
  target_precompile_headers(vantrel_pch_core PRIVATE ${PROJECT_SOURCE_DIR}/cmake/pch/core.h)
  set_target_properties(vantrel_pch_core PROPERTIES AUTOMOC OFF)

  add_library(vantrel_pch_widgets OBJECT ${PROJECT_SOURCE_DIR}/cmake/pch/pch.cpp)
  target_link_libraries(vantrel_pch_widgets PRIVATE vantrel_options Qt6::Widgets)
  set_target_properties(vantrel_pch_widgets PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON AUTOMOC OFF)
  target_precompile_headers(vantrel_pch_widgets PRIVATE ${PROJECT_SOURCE_DIR}/cmake/pch/widgets.h)
endif()

# vantrel_use_pch(<target> core|widgets)
function(vantrel_use_pch target kind)
  if(VANTREL_PCH)
    target_precompile_headers(${target} REUSE_FROM vantrel_pch_${kind})
  endif()
endfunction()
