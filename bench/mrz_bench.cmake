# The zone benchmark: the tool's zone reading (over the static core) beside
# Tesseract on the same page regions.
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET tesseract lept)
set(gw_tool_dir ${PROJECT_SOURCE_DIR}/tools/glyphwick)
target_sources(bench_mrz_bench PRIVATE ${gw_tool_dir}/Mrz.cpp ${gw_tool_dir}/MrzRead.cpp
  ${gw_tool_dir}/Reading.cpp ${gw_tool_dir}/Options.cpp ${gw_tool_dir}/Image.cpp)
target_include_directories(bench_mrz_bench PRIVATE ${gw_tool_dir})
target_link_libraries(bench_mrz_bench PRIVATE PkgConfig::TESSERACT)
target_compile_definitions(bench_mrz_bench PRIVATE GW_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
