# What `cmake --install` puts where: the library with its SONAME and
# versioned names, the header, the pkg-config file, the CMake package, the
# vorlan program, its man page and the documentation.
include(CMakePackageConfigHelpers)

install(TARGETS vorlan EXPORT vorlanTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vorlan.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The installed program finds the library beside it, wherever the prefix is.
set_target_properties(vorlan_host PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS vorlan_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# pkg-config: written at install time, when the final prefix is known.
set(VORLAN_PC_DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(NOT IS_ABSOLUTE "${VORLAN_PC_DESTINATION}")
  set(VORLAN_PC_DESTINATION "\${CMAKE_INSTALL_PREFIX}/${VORLAN_PC_DESTINATION}")
endif()
install(CODE "
  set(VORLAN_PC_TEMPLATE \"${PROJECT_SOURCE_DIR}/cmake/vorlan.pc.in\")
  set(VORLAN_PC_OUTPUT \"${PROJECT_BINARY_DIR}/pkgconfig/vorlan.pc\")
  set(VORLAN_PC_DESTINATION \"${VORLAN_PC_DESTINATION}\")
  set(VORLAN_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(VORLAN_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(VORLAN_PC_VERSION \"${PROJECT_VERSION}\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install_pkgconfig.cmake)

# find_package(vorlan) with the imported target vorlan::vorlan. Before 1.0
# a new minor version may change the interface, so only the same minor
# version is compatible.
set(VORLAN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vorlan)
install(EXPORT vorlanTargets NAMESPACE vorlan:: DESTINATION ${VORLAN_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vorlanConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/vorlanConfig.cmake INSTALL_DESTINATION ${VORLAN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/vorlanConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/vorlanConfig.cmake ${PROJECT_BINARY_DIR}/cmake/vorlanConfigVersion.cmake
  DESTINATION ${VORLAN_CMAKE_DIR})

# The man page and the guides may not all exist in every checkout; each is
# installed when it is there.
install(FILES ${PROJECT_SOURCE_DIR}/docs/vorlan.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 OPTIONAL)
file(GLOB VORLAN_GUIDES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  ${VORLAN_GUIDES} DESTINATION ${CMAKE_INSTALL_DOCDIR})
