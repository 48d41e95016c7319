# `cpack -G DEB` in the build directory: one .deb per install component.
#   tarvik-tools        bin/tarvik and tarvik(1)
#   tarvik-control      the RpcTarvik control module
#   tarvik-dev          static libraries, headers, CMake package and pkg-config file
#   tarvik-testprogram  RpcTarvikTest, its manifest, man page, desktop entry and icon
#   tarvik-managed      the managed assembly with its native library
#   tarvik-doc          README and docs
# Depends of the binaries are computed by dpkg-shlibdeps; no maintainer scripts.
set(CPACK_PACKAGE_NAME "tarvik")
set(CPACK_PACKAGE_VENDOR "Tarvik")
set(CPACK_PACKAGE_CONTACT "Tarvik developers <tarvik@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Telegrams between a host and its CNC machines over DCE RPC")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debug information stays in the build tree; packages carry stripped binaries.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_COMPONENTS_ALL tools control dev testprogram managed doc)

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME "tarvik-tools")
# tarvik loads libpcap when a capture is written or read, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libpcap0.8")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "tarvik command line: send, listen, machine simulator, notify, list")
set(CPACK_DEBIAN_CONTROL_PACKAGE_NAME "tarvik-control")
set(CPACK_COMPONENT_CONTROL_DESCRIPTION "RpcTarvik control: the Machine component module")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME "tarvik-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION "libdevel")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "nlohmann-json3-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Static libraries, headers, CMake package and pkg-config file for host programs")
set(CPACK_DEBIAN_TESTPROGRAM_PACKAGE_NAME "tarvik-testprogram")
set(CPACK_DEBIAN_TESTPROGRAM_PACKAGE_DEPENDS "tarvik-control (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_TESTPROGRAM_DESCRIPTION "RpcTarvikTest: window program to send telegrams and watch machines")
set(CPACK_DEBIAN_MANAGED_PACKAGE_NAME "tarvik-managed")
set(CPACK_DEBIAN_MANAGED_PACKAGE_DEPENDS "mono-runtime")
set(CPACK_DEBIAN_MANAGED_PACKAGE_SECTION "cli-mono")
set(CPACK_COMPONENT_MANAGED_DESCRIPTION "Vortane.Tarvik.Rpc: the managed library for Mono host programs")
set(CPACK_DEBIAN_DOC_PACKAGE_NAME "tarvik-doc")
set(CPACK_DEBIAN_DOC_PACKAGE_ARCHITECTURE "all")
set(CPACK_DEBIAN_DOC_PACKAGE_SECTION "doc")
set(CPACK_COMPONENT_DOC_DESCRIPTION "Tarvik documentation")

include(CPack)
