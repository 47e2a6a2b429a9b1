# The simulated laser system: its byte pacing against the line rate, on the steady clock.
add_executable(sim_bench ${CMAKE_CURRENT_LIST_DIR}/SimPacingBench.cpp)
target_link_libraries(sim_bench PRIVATE halvane_sim benchmark::benchmark_main)
