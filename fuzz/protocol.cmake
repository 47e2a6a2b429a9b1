# Frame extraction and controller decoding over arbitrary bytes from the link.
add_executable(FrameExtractionFuzzer ${CMAKE_CURRENT_LIST_DIR}/FrameExtractionFuzzer.cpp)
target_link_libraries(FrameExtractionFuzzer PRIVATE halvane_core)
target_link_options(FrameExtractionFuzzer PRIVATE -fsanitize=fuzzer)
