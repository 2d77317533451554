# The streams a real web server serves in the interop tests are generated into the build
# tree once and reused.
zid_source_definitions(zid_peers ZID_INTEROP_FIXTURE_DIR="${CMAKE_BINARY_DIR}/fixtures/interop")
