# The RpcTarvik control's identities for the build: read from control/identities.h, the one place they
# are written, so the manifests the build writes name the class, ProgIDs and type library the module
# itself registers. Editing the header re-runs the configuration.
#
# Sets TARVIK_CONTROL_CLSID, TARVIK_CONTROL_LIBID ("{...}" text), TARVIK_CONTROL_PROGID ("Mevrix.Machine.1"),
# TARVIK_CONTROL_VI_PROGID (the version-independent one), TARVIK_CONTROL_LIBRARY_VERSION ("1.0") and
# TARVIK_CONTROL_MANIFEST_ENTRIES (the "class" and "typelib" lines of a manifest, after its "module" line).
# tarvik_control_manifest(OUTPUT file MODULE path [COMMENT text]) writes a whole manifest (generator
# expressions allowed in both).

set(_tarvik_identities "${PROJECT_SOURCE_DIR}/control/identities.h")
set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_tarvik_identities}")
file(READ "${_tarvik_identities}" _tarvik_identities_text)

# The value of `inline constexpr ... NAME = <pattern>;` in the header; the configuration stops when
# the header no longer has it, rather than writing a manifest with a wrong or empty identity.
function(_tarvik_identity name pattern out)
  if(NOT _tarvik_identities_text MATCHES "[ \t]${name} = ${pattern};")
    message(FATAL_ERROR "control/identities.h: no ${name} of the form ${pattern}")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

set(_tarvik_guid "com::make_guid\\(\"({[0-9A-Fa-f-]+})\"\\)")
set(_tarvik_text "\"([^\"]+)\"")
_tarvik_identity(kClsidMachine "${_tarvik_guid}" TARVIK_CONTROL_CLSID)
_tarvik_identity(kLibidMevrix "${_tarvik_guid}" TARVIK_CONTROL_LIBID)
_tarvik_identity(kProgId "${_tarvik_text}" TARVIK_CONTROL_PROGID)
_tarvik_identity(kVersionIndependentProgId "${_tarvik_text}" TARVIK_CONTROL_VI_PROGID)
_tarvik_identity(kLibraryMajor "([0-9]+)" _tarvik_major)
_tarvik_identity(kLibraryMinor "([0-9]+)" _tarvik_minor)
set(TARVIK_CONTROL_LIBRARY_VERSION "${_tarvik_major}.${_tarvik_minor}")

set(TARVIK_CONTROL_MANIFEST_ENTRIES
"class ${TARVIK_CONTROL_CLSID} ${TARVIK_CONTROL_PROGID} ${TARVIK_CONTROL_VI_PROGID}
typelib ${TARVIK_CONTROL_LIBID} ${TARVIK_CONTROL_LIBRARY_VERSION}
")

function(tarvik_control_manifest)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "OUTPUT;MODULE;COMMENT" "")
  if(NOT arg_OUTPUT OR NOT arg_MODULE)
    message(FATAL_ERROR "tarvik_control_manifest: OUTPUT and MODULE are required")
  endif()
  set(comment "")
  if(arg_COMMENT)
    set(comment "# ${arg_COMMENT}\n")
  endif()
  file(GENERATE OUTPUT "${arg_OUTPUT}" CONTENT "${comment}module ${arg_MODULE}\n${TARVIK_CONTROL_MANIFEST_ENTRIES}")
endfunction()
