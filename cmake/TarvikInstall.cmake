# What `cmake --install` puts under the prefix, and the CMake package and pkg-config file that let
# other projects use the libraries. Everything installed is relocatable: paths inside installed files
# are relative to the file itself, never to the build or source tree.
#
#   bin/tarvik, bin/RpcTarvikTest (+ tarvik.manifest, RpcTarvikTest.manifest naming the installed control)
#   lib/tarvik/libRpcTarvik.so               the control: a module loaded at run time, never linked
#   lib/libtarvik_{rpc,codepage,com,profile,protocol}.a, include/tarvik/...
#   lib/cmake/Tarvik/                        find_package(Tarvik): Tarvik::protocol, Tarvik::rpc, ...
#   lib/pkgconfig/tarvik.pc
#   lib/cli/vortane-tarvik-rpc/              the managed assembly, its .dll.config and native library
#   share/doc/tarvik/                        README and docs/
#   share/man/man1/, share/applications/, share/icons/   man pages, the test program's desktop entry and icon
#
# The libraries a host program links are static (built position-independent): one archive per layer,
# no SONAME to keep stable while the layers change, and a host program carries no run-time path.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TARVIK_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/Tarvik")
set(TARVIK_INSTALL_MODULEDIR "${CMAKE_INSTALL_LIBDIR}/tarvik")
set(TARVIK_INSTALL_CLIDIR "lib/cli/vortane-tarvik-rpc")
set(TARVIK_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/tarvik")

# The libraries of a C++ host program, by their exported names. Headers keep the paths they have
# in this tree ("protocol/machine_connection.h"), found under include/tarvik once installed.
set(_tarvik_exported rpc codepage com profile protocol)
foreach(name IN LISTS _tarvik_exported)
  if(NOT TARGET tarvik_${name})
    continue()
  endif()
  set_target_properties(tarvik_${name} PROPERTIES EXPORT_NAME ${name})
  set_property(TARGET tarvik_${name} PROPERTY INTERFACE_INCLUDE_DIRECTORIES
    "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>"
    "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tarvik>")
  # The same names for a project that builds Tarvik with add_subdirectory or FetchContent.
  if(NOT TARGET Tarvik::${name})
    add_library(Tarvik::${name} ALIAS tarvik_${name})
  endif()
  install(TARGETS tarvik_${name} EXPORT TarvikTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
endforeach()

foreach(dir platform/rpc platform/codepage platform/com platform/profile protocol)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/${dir}/"
    DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/tarvik/${dir}" COMPONENT dev
    FILES_MATCHING PATTERN "*.h"
    PATTERN "tests" EXCLUDE PATTERN "bench" EXCLUDE PATTERN "nls" EXCLUDE)
endforeach()

install(EXPORT TarvikTargets NAMESPACE Tarvik:: DESTINATION ${TARVIK_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/TarvikConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/cmake/TarvikConfig.cmake" INSTALL_DESTINATION ${TARVIK_INSTALL_CMAKEDIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/cmake/TarvikConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/cmake/TarvikConfig.cmake" "${PROJECT_BINARY_DIR}/cmake/TarvikConfigVersion.cmake"
  DESTINATION ${TARVIK_INSTALL_CMAKEDIR} COMPONENT dev)

# pkg-config: the prefix is found from the .pc file's own place, so the tree can move.
set(_tarvik_pcdir "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
file(RELATIVE_PATH _tarvik_pc_to_prefix "/prefix/${_tarvik_pcdir}" "/prefix")
set(TARVIK_PC_PREFIX "\${pcfiledir}/${_tarvik_pc_to_prefix}")
configure_file("${PROJECT_SOURCE_DIR}/cmake/tarvik.pc.in" "${PROJECT_BINARY_DIR}/cmake/tarvik.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/cmake/tarvik.pc" DESTINATION ${_tarvik_pcdir} COMPONENT dev)

# Man pages are installed compressed, as man and the Debian tools expect.
function(tarvik_install_man_page page component)
  set(gz "${PROJECT_BINARY_DIR}/man/${page}.gz")
  file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/man")
  execute_process(COMMAND gzip -9nc "${PROJECT_SOURCE_DIR}/packaging/${page}" OUTPUT_FILE "${gz}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip of ${page} failed")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/packaging/${page}")
  install(FILES "${gz}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

# The build tree's manifests name the module in the build tree; the installed ones name the installed
# module, relative to the manifest, so the programs find the control wherever the prefix is.
file(RELATIVE_PATH _tarvik_module_from_bin "/prefix/${CMAKE_INSTALL_BINDIR}"
  "/prefix/${TARVIK_INSTALL_MODULEDIR}/libRpcTarvik.so")

if(TARGET tarvik)
  install(TARGETS tarvik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  tarvik_install_man_page(tarvik.1 tools)
  if(TARGET RpcTarvik)
    # `tarvik typelib` and `tarvik list` find the control through it (when the control is installed).
    set(_tarvik_manifest "${PROJECT_BINARY_DIR}/cmake/tarvik.manifest")
    tarvik_control_manifest(OUTPUT "${_tarvik_manifest}" MODULE "${_tarvik_module_from_bin}"
      COMMENT "Registration-free activation of the RpcTarvik control for tarvik.")
    install(FILES "${_tarvik_manifest}" DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endif()

if(TARGET RpcTarvik)
  install(TARGETS RpcTarvik LIBRARY DESTINATION ${TARVIK_INSTALL_MODULEDIR} COMPONENT control)
endif()

if(TARGET RpcTarvikTest)
  install(TARGETS RpcTarvikTest RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT testprogram)
  set(_tarvik_manifest "${PROJECT_BINARY_DIR}/cmake/RpcTarvikTest.manifest")
  tarvik_control_manifest(OUTPUT "${_tarvik_manifest}" MODULE "${_tarvik_module_from_bin}"
    COMMENT "Registration-free activation of the RpcTarvik control for RpcTarvikTest.")
  install(FILES "${_tarvik_manifest}" DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT testprogram)
  tarvik_install_man_page(RpcTarvikTest.1 testprogram)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/RpcTarvikTest.desktop"
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT testprogram)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/rpctarviktest.svg"
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps COMPONENT testprogram)
endif()

if(TARGET VortaneTarvikNative)
  install(TARGETS VortaneTarvikNative LIBRARY DESTINATION ${TARVIK_INSTALL_CLIDIR} COMPONENT managed)
endif()
if(TARVIK_MANAGED_AVAILABLE AND TARVIK_MANAGED_ASSEMBLY)
  # The .dll.config maps the native library's name to the file beside the assembly.
  install(FILES "${TARVIK_MANAGED_ASSEMBLY}" "${TARVIK_MANAGED_ASSEMBLY}.config"
    DESTINATION ${TARVIK_INSTALL_CLIDIR} COMPONENT managed)
  install(FILES "${TARVIK_MANAGED_ASSEMBLY}.mdb" DESTINATION ${TARVIK_INSTALL_CLIDIR} COMPONENT managed OPTIONAL)
endif()

install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION ${TARVIK_INSTALL_DOCDIR} COMPONENT doc)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/" DESTINATION ${TARVIK_INSTALL_DOCDIR} COMPONENT doc)

if(PROJECT_IS_TOP_LEVEL)
  include(${PROJECT_SOURCE_DIR}/cmake/TarvikPackaging.cmake)
endif()
