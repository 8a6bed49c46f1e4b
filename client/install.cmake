# `cmake --install` puts the client SDK in place: the header, the shared library (and
# on Windows its import library), a CMake package (find_package(OrvexClient) gives the
# target Orvex::orvex_client) and a pkg-config file (orvex-client).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS orvex_client EXPORT OrvexClientTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/orvex/orvex_client.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvex)

set(orvex_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/OrvexClient)
install(EXPORT OrvexClientTargets NAMESPACE Orvex:: DESTINATION ${orvex_cmake_dir})
configure_package_config_file(OrvexClientConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OrvexClientConfig.cmake INSTALL_DESTINATION ${orvex_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OrvexClientConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/OrvexClientConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/OrvexClientConfigVersion.cmake
        DESTINATION ${orvex_cmake_dir})

# Relative to the .pc file, so the installed tree may be moved.
file(RELATIVE_PATH orvex_pc_up /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
configure_file(orvex-client.pc.in ${CMAKE_CURRENT_BINARY_DIR}/orvex-client.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/orvex-client.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
