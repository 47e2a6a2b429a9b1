# Programming a 64 KiB image through the modelled link, against the link's minimum for the same
# frames; and the engine's own cost per frame against the line rate.
add_executable(firmware_bench
    ${CMAKE_CURRENT_LIST_DIR}/FirmwareBench.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/FakeD2XX.h
    ${PROJECT_SOURCE_DIR}/tests/support/FakeD2XX.cpp)
target_include_directories(firmware_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(firmware_bench PRIVATE halvane_core benchmark::benchmark_main)

# One real run against the simulated laser system on the steady clock, as the firmware page
# starts it, with the adapter's default and low latency timer.
add_executable(firmware_sim_bench
    ${CMAKE_CURRENT_LIST_DIR}/FirmwareSimBench.cpp
    ${PROJECT_SOURCE_DIR}/tests/protocol/RecordingReceiver.h
    ${PROJECT_SOURCE_DIR}/tests/protocol/RecordingReceiver.cpp)
target_link_libraries(firmware_sim_bench PRIVATE halvane_sim halvane_core benchmark::benchmark_main)
