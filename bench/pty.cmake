# The link through the kernel's tty layer against halvane-sim --pty: frames per second paced and
# unpaced, CPU against the in-process simulator, a 64 KiB firmware run against the link minimum.
if(TARGET halvane-sim)
    add_executable(pty_bench
        ${CMAKE_CURRENT_LIST_DIR}/PtyLinkBench.cpp
        ${PROJECT_SOURCE_DIR}/tests/protocol/RecordingReceiver.h
        ${PROJECT_SOURCE_DIR}/tests/protocol/RecordingReceiver.cpp)
    target_link_libraries(pty_bench PRIVATE halvane_sim halvane_core benchmark::benchmark_main)
    add_dependencies(pty_bench halvane-sim)
    target_compile_definitions(pty_bench PRIVATE HALVANE_SIM_PATH="$<TARGET_FILE:halvane-sim>")
endif()
