# `cpack -G DEB` in the build directory: one .deb per install component.
#   tarvik-tools        bin/tarvik, tarvik(1), the Wireshark dissector
#   tarvik-control      the RpcTarvik control module
#   tarvik-dev          static libraries, headers, CMake package and pkg-config file
#   tarvik-testprogram  RpcTarvikTest, its manifest, man page, desktop entry and icon
#   tarvik-managed      the managed assembly with its native library
#   tarvik-doc          README and docs
# Depends of the binaries are computed by dpkg-shlibdeps; no maintainer scripts. Each package has
# its copyright file and changelog.Debian.gz under share/doc/<package>.
set(CPACK_PACKAGE_NAME "tarvik")
set(CPACK_PACKAGE_VENDOR "Tarvik")
set(CPACK_PACKAGE_CONTACT "Tarvik developers <tarvik@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Telegrams between a host and its CNC machines over DCE RPC")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# A Debian revision: the packages are not Debian-native, so their changelog is changelog.Debian.gz.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
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
set(CPACK_DEBIAN_TESTPROGRAM_PACKAGE_DEPENDS "tarvik-control (= ${PROJECT_VERSION}-1)")
set(CPACK_COMPONENT_TESTPROGRAM_DESCRIPTION "RpcTarvikTest: window program to send telegrams and watch machines")
set(CPACK_DEBIAN_MANAGED_PACKAGE_NAME "tarvik-managed")
set(CPACK_DEBIAN_MANAGED_PACKAGE_DEPENDS "mono-runtime")
set(CPACK_DEBIAN_MANAGED_PACKAGE_SECTION "cli-mono")
set(CPACK_COMPONENT_MANAGED_DESCRIPTION "Vortane.Tarvik.Rpc: the managed library for Mono host programs")
set(CPACK_DEBIAN_DOC_PACKAGE_NAME "tarvik-doc")
set(CPACK_DEBIAN_DOC_PACKAGE_ARCHITECTURE "all")
set(CPACK_DEBIAN_DOC_PACKAGE_SECTION "doc")
set(CPACK_COMPONENT_DOC_DESCRIPTION "Tarvik documentation")

# Every package carries /usr/share/doc/<package>/copyright (machine-readable format; no licence is
# chosen yet, so all rights are reserved) and its changelog.Debian.gz.
set(_tarvik_changelog "${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz")
file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/packaging")
execute_process(COMMAND gzip -9nc "${PROJECT_SOURCE_DIR}/packaging/changelog.Debian" OUTPUT_FILE "${_tarvik_changelog}"
                RESULT_VARIABLE _tarvik_rc)
if(NOT _tarvik_rc EQUAL 0)
  message(FATAL_ERROR "gzip of packaging/changelog.Debian failed")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/packaging/changelog.Debian")
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${component}" _upper)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright" "${_tarvik_changelog}"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${_upper}_PACKAGE_NAME}" COMPONENT ${component})
endforeach()

include(CPack)
