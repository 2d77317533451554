# The media server peer and its name server run on Asio: its memory fences are fine
# under ThreadSanitizer, which only warns that it cannot see them.
include(CheckCXXCompilerFlag)
check_cxx_compiler_flag(-Wno-tsan ZID_PEERS_HAS_WNO_TSAN)
if(ZID_PEERS_HAS_WNO_TSAN)
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/src/mediaserver/MediaServerPeer.cpp
                              ${CMAKE_CURRENT_SOURCE_DIR}/src/names/LoopbackNameServer.cpp
                              PROPERTIES COMPILE_OPTIONS -Wno-tsan)
endif()
