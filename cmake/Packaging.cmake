# Debian packages from one build: `cpack -G DEB` in the build folder gives
#   libmemlist1     the shared libraries (component runtime)
#   libmemlist-dev  headers, CMake package, pkg-config file, libmemlist.so (component development)
#   memlist-tools   memlist-inspect and its manual page (component tools)
set(CPACK_PACKAGE_NAME memlist)
set(CPACK_PACKAGE_VENDOR "memlist")
set(CPACK_PACKAGE_CONTACT "memlist maintainers <memlist@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tag list store and browser of the process-control configuration suite")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime development tools)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps (Debian dpkg-dev); package dependencies from the
# components' DEPENDS below, each on the same version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libmemlist1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libmemlist-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME memlist-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "memlist shared libraries"
  DESCRIPTION "libmemlist.so.1, the tag list store and browser, and libDirkeeper.so.1, the path service it loads.")
cpack_add_component(development DISPLAY_NAME "memlist development files" DEPENDS runtime
  DESCRIPTION "Headers, the CMake package (find_package(memlist)) and the pkg-config file of libmemlist.")
# memlist-inspect loads the path service, libDirkeeper.so.1, at run time.
cpack_add_component(tools DISPLAY_NAME "memlist tools" DEPENDS runtime
  DESCRIPTION "memlist-inspect: looks into, checks, repairs, exports and imports a tag store directory.")
