# libq58: the public C API over the library's subsystems, as a shared library
# (libq58.so.1) and a static one (libq58.a), both made from the objects the
# subsystem libraries are made of. Installs the header, both libraries, a
# pkg-config file and a CMake package exporting q58::q58.

set(q58_library_objects
  $<TARGET_OBJECTS:q58_api_objects>
  $<TARGET_OBJECTS:q58_formats_objects>
  $<TARGET_OBJECTS:q58_codec_objects>
  $<TARGET_OBJECTS:q58_transform_objects>
  $<TARGET_OBJECTS:q58_simd_objects>
  $<TARGET_OBJECTS:q58_bits_objects>
  $<TARGET_OBJECTS:q58_streams_objects>)

# The ABI number of the shared library; changed only by incompatible changes,
# independently of the release version.
set(Q58_SOVERSION 1)

include(GNUInstallDirs)

add_library(q58_shared SHARED ${q58_library_objects})
add_library(q58_static STATIC ${q58_library_objects})
foreach(target q58_shared q58_static)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME q58 LINKER_LANGUAGE CXX)
  target_include_directories(${target} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()
set_target_properties(q58_shared PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${Q58_SOVERSION} EXPORT_NAME q58)
set_target_properties(q58_static PROPERTIES EXPORT_NAME q58_static)
if(WIN32)
  # The import library and the static one must not share a name.
  set_target_properties(q58_static PROPERTIES OUTPUT_NAME q58_static)
endif()

# Only q58_ functions leave the shared library: the objects are compiled with
# hidden visibility, and the version script also hides the C++ runtime's
# template instances that the standard headers mark as visible.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(q58_version_script ${PROJECT_SOURCE_DIR}/cmake/libq58.map)
  target_link_options(q58_shared PRIVATE
    "LINKER:--version-script=${q58_version_script}" "LINKER:--no-undefined")
  set_property(TARGET q58_shared APPEND PROPERTY LINK_DEPENDS ${q58_version_script})
endif()
find_package(Threads REQUIRED)
target_link_libraries(q58_shared PRIVATE Threads::Threads)
target_link_libraries(q58_static INTERFACE Threads::Threads)

# In-tree users name the library as installed users do.
add_library(q58::q58 ALIAS q58_shared)
add_library(q58::q58_static ALIAS q58_static)

install(TARGETS q58_shared q58_static EXPORT q58Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/q58.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(q58_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/q58)
install(EXPORT q58Targets NAMESPACE q58:: DESTINATION ${q58_cmake_dir})
include(CMakePackageConfigHelpers)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/q58Config.cmake.in
  ${PROJECT_BINARY_DIR}/q58Config.cmake INSTALL_DESTINATION ${q58_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/q58ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/q58Config.cmake ${PROJECT_BINARY_DIR}/q58ConfigVersion.cmake
  DESTINATION ${q58_cmake_dir})

# pkg-config: the C++ runtime and libm are what a static link adds. The
# prefix is found from the file's own place, so that an install with
# `cmake --install --prefix` elsewhere (or a staged package) stays usable.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(Q58_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH q58_pc_up "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" q58_pc_up "${q58_pc_up}")
  set(Q58_PC_PREFIX "\${pcfiledir}/${q58_pc_up}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(Q58_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(Q58_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(Q58_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(Q58_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/q58.pc.in ${PROJECT_BINARY_DIR}/q58.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/q58.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
