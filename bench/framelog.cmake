# The frame log's recording cost on the receive path.
add_executable(FrameLogBench ${CMAKE_CURRENT_LIST_DIR}/FrameLogBench.cpp)
target_link_libraries(FrameLogBench PRIVATE halvane_core benchmark::benchmark)
