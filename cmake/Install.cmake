# Installation: the library, its headers under include/glyphwick, the default
# pattern file beside the library, the plug-ins, the CMake package
# (find_package(Glyphwick)) and the pkg-config file (glyphwick).
install(TARGETS glyphwick EXPORT GlyphwickTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/Glyphwick.h include/DVImageProcessor.h include/DVImageCodecs.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/glyphwick)
file(GLOB GW_NEW_HEADERS ${PROJECT_SOURCE_DIR}/include/Glyphwick?*.h)
install(FILES ${GW_NEW_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/glyphwick)
install(FILES patterns/libglyphwick.PAT DESTINATION ${CMAKE_INSTALL_LIBDIR})

include(CMakePackageConfigHelpers)
set(GW_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Glyphwick)
install(EXPORT GlyphwickTargets NAMESPACE Glyphwick:: DESTINATION ${GW_CMAKE_DIR})
configure_package_config_file(cmake/GlyphwickConfig.cmake.in
  ${PROJECT_BINARY_DIR}/GlyphwickConfig.cmake INSTALL_DESTINATION ${GW_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/GlyphwickConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/GlyphwickConfig.cmake
        ${PROJECT_BINARY_DIR}/GlyphwickConfigVersion.cmake DESTINATION ${GW_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so that an
# installation can be moved (or made with cmake --install --prefix).
file(RELATIVE_PATH GW_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/glyphwick.pc.in ${PROJECT_BINARY_DIR}/glyphwick.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/glyphwick.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/glyphwick)
