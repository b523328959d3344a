# The zone benchmark: accuracy and time per image over the real images beside
# the source tree (when present) and a generated set named by GW_MRZ_PAGES.
target_compile_definitions(bench_mrz_bench PRIVATE GW_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  GW_REALWORLD_MRZ="${PROJECT_SOURCE_DIR}/../shared/realworld/mrz")
