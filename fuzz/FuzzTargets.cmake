# What each fuzz target links besides its own file, shared by the libFuzzer
# build (fuzz/CMakeLists.txt) and the replay tests (tests/fuzz/).
# gw_fuzz_link(<cmake target> <fuzz target name>)
function(gw_fuzz_link target name)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  if(name STREQUAL "wsq_plugin")
    # The plug-in's exports compiled in, so its code is fuzzed without dlopen.
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/plugins/wsq/DVWSQLib.cpp)
    target_link_libraries(${target} PRIVATE gw_wsq)
  elseif(name STREQUAL "jp2_plugin")
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/plugins/openjpeg/J2kToBmp.cpp
                                     ${PROJECT_SOURCE_DIR}/plugins/openjpeg/OpenJpegExports.cpp)
    target_link_libraries(${target} PRIVATE PkgConfig::OPENJP2)
  elseif(name STREQUAL "lines")
    # Linked statically, the target has no pattern file beside it: it names
    # the shipped one.
    target_compile_definitions(${target} PRIVATE
      GW_PATTERN_FILE="${PROJECT_SOURCE_DIR}/patterns/libglyphwick.PAT")
  endif()
  target_link_libraries(${target} PRIVATE glyphwick_core)
endfunction()

# Names of the fuzz targets: fuzz/<name>_fuzz.cpp.
file(GLOB GW_FUZZ_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/*_fuzz.cpp)
set(GW_FUZZ_NAMES "")
foreach(src ${GW_FUZZ_SOURCES})
  get_filename_component(stem ${src} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" name ${stem})
  list(APPEND GW_FUZZ_NAMES ${name})
endforeach()
