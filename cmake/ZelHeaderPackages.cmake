# Header-only Debian packages that the command and the tests use (nlohmann-json,
# CLI11); the two libraries use none.
#
# A cross build looks for packages inside its target root only. There the
# build machine's copy of a header-only package serves instead, through a
# folder that exposes that package's own header folder and nothing else of
# /usr/include.
function(zel_find_header_package package target header)
  find_package(${package} QUIET)
  if(NOT ${package}_FOUND AND CMAKE_CROSSCOMPILING)
    find_path(ZEL_${package}_ROOT ${header} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(ZEL_${package}_ROOT)
      string(REGEX REPLACE "/.*" "" header_folder ${header})
      set(exposed ${CMAKE_BINARY_DIR}/header_packages/${package})
      file(MAKE_DIRECTORY ${exposed})
      file(CREATE_LINK ${ZEL_${package}_ROOT}/${header_folder} ${exposed}/${header_folder} SYMBOLIC)
      add_library(${target} INTERFACE IMPORTED)
      target_include_directories(${target} INTERFACE ${exposed})
      set(${package}_FOUND TRUE)
    endif()
  endif()
  set(${package}_FOUND ${${package}_FOUND} PARENT_SCOPE)
endfunction()

if(ZEL_BUILD_TOOLS OR ZEL_BUILD_TESTS)
  zel_find_header_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann/json.hpp)
endif()
if(ZEL_BUILD_TOOLS)
  zel_find_header_package(CLI11 CLI11::CLI11 CLI/CLI.hpp)
  if(NOT CLI11_FOUND OR NOT nlohmann_json_FOUND)
    message(FATAL_ERROR "The zelset command needs CLI11 and nlohmann-json (Debian libcli11-dev and "
                        "nlohmann-json3-dev; scripts/install-deps installs them). "
                        "-DZEL_BUILD_TOOLS=OFF builds without the command.")
  endif()
endif()
