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

# Relative to the .pc file, so the installed tree may be moved. A program linked from a
# prefix the loader does not search finds the library only through an rpath: that
# prefix's .pc puts one in Libs. Which prefix it is shows only at install time
# (cmake --install --prefix), so both forms are made now and one is installed then.
file(RELATIVE_PATH orvex_pc_up /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
set(orvex_pc_libs "-L\${libdir} -lorvex_client")
configure_file(orvex-client.pc.in ${CMAKE_CURRENT_BINARY_DIR}/orvex-client.pc @ONLY)
if(NOT WIN32)
  set(orvex_pc_libs "-L\${libdir} \${rpath} -lorvex_client")
endif()
configure_file(orvex-client.pc.in ${CMAKE_CURRENT_BINARY_DIR}/orvex-client-rpath.pc @ONLY)
install(CODE "
  if(CMAKE_INSTALL_PREFIX MATCHES \"^/usr(/local)?/?$\")
    set(orvex_pc \"${CMAKE_CURRENT_BINARY_DIR}/orvex-client.pc\")
  else()
    set(orvex_pc \"${CMAKE_CURRENT_BINARY_DIR}/orvex-client-rpath.pc\")
  endif()
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\"
       TYPE FILE RENAME orvex-client.pc FILES \"\${orvex_pc}\")
")

# The Python module, in a folder of its own next to the library, where it finds the
# library without ORVEX_CLIENT_LIBRARY.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/orvex DESTINATION ${CMAKE_INSTALL_LIBDIR}/python
        FILES_MATCHING PATTERN "*.py")
install(CODE "message(STATUS \"Python module: PYTHONPATH=\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/python\")")
