# The HLS origin's fixtures are generated into the build tree once and reused.
target_compile_definitions(zid_peers PRIVATE ZID_HLS_FIXTURE_DIR="${CMAKE_BINARY_DIR}/fixtures/hls")
