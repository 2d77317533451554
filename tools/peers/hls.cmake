# The HLS origin's fixtures are generated into the build tree once and reused.
zid_source_definitions(zid_peers ZID_HLS_FIXTURE_DIR="${CMAKE_BINARY_DIR}/fixtures/hls")
