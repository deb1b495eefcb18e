# cmake --install: the two shared libraries, the zelset command, the public headers, a CMake package
# (find_package(zelset CONFIG) -> zelset::zelset, zelset::zelset_next) and
# pkg-config files (zelset.pc, zelset_next.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS zelset zelset_next EXPORT zelsetTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET zelset_cli)
  install(TARGETS zelset_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
file(GLOB ZEL_PUBLIC_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${ZEL_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(ZEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zelset)
install(EXPORT zelsetTargets NAMESPACE zelset:: DESTINATION ${ZEL_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zelsetConfig.cmake.in
  ${CMAKE_BINARY_DIR}/zelsetConfig.cmake INSTALL_DESTINATION ${ZEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/zelsetConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/zelsetConfig.cmake ${CMAKE_BINARY_DIR}/zelsetConfigVersion.cmake
  DESTINATION ${ZEL_CMAKE_DIR})

# The .pc files find their prefix from their own place, so the tree can move.
file(RELATIVE_PATH ZEL_PC_TO_PREFIX /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
foreach(lib zelset zelset_next)
  set(ZEL_PC_LIBRARY ${lib})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/zelset.pc.in ${CMAKE_BINARY_DIR}/${lib}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${lib}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# The Python package (bindings/python/setup.py, run by pip) carries the library
# and the command side by side in its folder: `cmake --install BUILD --component
# python_package --prefix STAGE` puts both in STAGE/zelset. The library is one
# file without a version suffix (a wheel holds no symbolic links) and the command
# finds it beside itself.
if(ZEL_PYTHON_PACKAGE)
  if(NOT TARGET zelset_cli)
    message(FATAL_ERROR "ZEL_PYTHON_PACKAGE needs the zelset command (ZEL_BUILD_TOOLS)")
  endif()
  set_property(TARGET zelset PROPERTY VERSION)
  set_property(TARGET zelset PROPERTY SOVERSION)
  set_property(TARGET zelset_cli PROPERTY INSTALL_RPATH "$<$<NOT:$<BOOL:${WIN32}>>:$ORIGIN>")
  install(TARGETS zelset zelset_cli COMPONENT python_package EXCLUDE_FROM_ALL
    RUNTIME DESTINATION zelset LIBRARY DESTINATION zelset ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
