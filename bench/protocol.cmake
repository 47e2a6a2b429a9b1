# The receive path: extraction + checksum + decoding of a realistic mixed stream, and the receive
# thread's CPU share at the link's line rate.
add_executable(ReceivePathBench ${CMAKE_CURRENT_LIST_DIR}/ReceivePathBench.cpp
               ${PROJECT_SOURCE_DIR}/tests/support/FakeD2XX.cpp)
target_include_directories(ReceivePathBench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(ReceivePathBench PRIVATE halvane_core benchmark::benchmark)
