# cmake --install: headers under include/memlist, libmemlist.so and libDirkeeper.so.1, a CMake
# package (find_package(memlist) -> memlist::memlist), a pkg-config file and the tools.
# Components: runtime (the shared libraries), development (headers, CMake package, pkg-config
# file, the libmemlist.so link) and tools (installed from tools/).
include(CMakePackageConfigHelpers)

# What a host includes. Each includes its siblings by bare name, so one flat folder serves.
set(MEMLIST_PUBLIC_HEADERS
  ${CMAKE_SOURCE_DIR}/platform/WinTypes.h
  ${CMAKE_SOURCE_DIR}/platform/CString.h
  ${CMAKE_SOURCE_DIR}/platform/Arrays.h
  ${CMAKE_SOURCE_DIR}/Set_Config/memlist/MemTagList.h
  ${CMAKE_SOURCE_DIR}/Set_Config/memlist/store/TagRecords.h
  ${CMAKE_SOURCE_DIR}/pubclass/TagAreaRegion.h)
install(FILES ${MEMLIST_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/memlist
  COMPONENT development)

# Nothing links to the path service: no bare libDirkeeper.so link is installed.
install(TARGETS Dirkeeper LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
  NAMELINK_SKIP)
if(TARGET memlist)
  install(TARGETS memlist EXPORT memlistTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
      COMPONENT runtime NAMELINK_COMPONENT development
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/memlist)
  install(EXPORT memlistTargets NAMESPACE memlist::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/memlist COMPONENT development)
  configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/memlistConfig.cmake.in
    ${CMAKE_BINARY_DIR}/memlistConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/memlist)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/memlistConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/memlistConfig.cmake ${CMAKE_BINARY_DIR}/memlistConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/memlist COMPONENT development)
  # Relocatable: the prefix is found from where the .pc file lies.
  file(RELATIVE_PATH MEMLIST_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
       ${CMAKE_INSTALL_PREFIX})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/memlist.pc.in ${CMAKE_BINARY_DIR}/memlist.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/memlist.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
endif()
