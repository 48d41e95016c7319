# tarvik_com_module(TARGET): makes a shared library a component module. It exports the module entry
# points (module_exports.h) and nothing else, so the copy of tarvik_com linked into it (and any other
# static library) stays private to the module and never mixes with the host program's copy.
function(tarvik_com_module target)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    PREFIX "lib")
  target_link_options(${target} PRIVATE
    "LINKER:--version-script=${TARVIK_COM_EXPORTS_MAP}"
    "LINKER:--exclude-libs,ALL"
    "LINKER:--no-undefined")
  target_link_libraries(${target} PRIVATE tarvik_com)
endfunction()
