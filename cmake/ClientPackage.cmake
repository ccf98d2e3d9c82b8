# `cmake --install` puts the C++ client library where cockpit software finds
# it the usual way:
#
#   find_package(tarvos_client REQUIRED)
#   target_link_libraries(app PRIVATE tarvos_client::tarvos_client)
#
# It installs the two static libraries (the client and the offset catalogue
# it links), the public headers below include/tarvos (included as
# "client/batch.h", as inside this tree), the tarvos-client program and the
# CMake package files. Nothing of the plugin is installed.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(client_headers batch.h connection.h field.h named_field.h net_io.h session.h traffic_view.h
    watch.h watch_preset.h plain_value.h name_glob.h program_output.h)
list(TRANSFORM client_headers PREPEND "${PROJECT_SOURCE_DIR}/client/")
set(client_include_dir "${CMAKE_INSTALL_INCLUDEDIR}/tarvos")
set(client_package_dir "${CMAKE_INSTALL_LIBDIR}/cmake/tarvos_client")

set_target_properties(tarvos_catalogue PROPERTIES EXPORT_NAME catalogue)
install(TARGETS tarvos_client tarvos_catalogue EXPORT tarvos_client_targets
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT client
  INCLUDES DESTINATION "${client_include_dir}")
install(TARGETS tarvos-client RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
  COMPONENT client)
install(FILES ${client_headers} DESTINATION "${client_include_dir}/client"
  COMPONENT client)
install(FILES "${PROJECT_SOURCE_DIR}/offsets/catalogue.h"
  DESTINATION "${client_include_dir}/offsets" COMPONENT client)
install(EXPORT tarvos_client_targets NAMESPACE tarvos_client::
  FILE tarvos_clientTargets.cmake DESTINATION "${client_package_dir}"
  COMPONENT client)

configure_package_config_file(
  "${CMAKE_CURRENT_LIST_DIR}/tarvos_clientConfig.cmake.in"
  "${CMAKE_CURRENT_BINARY_DIR}/tarvos_clientConfig.cmake"
  INSTALL_DESTINATION "${client_package_dir}")
write_basic_package_version_file(
  "${CMAKE_CURRENT_BINARY_DIR}/tarvos_clientConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/tarvos_clientConfig.cmake"
  "${CMAKE_CURRENT_BINARY_DIR}/tarvos_clientConfigVersion.cmake"
  DESTINATION "${client_package_dir}" COMPONENT client)
