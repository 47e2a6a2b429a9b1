# The operator window under the simulator's full line rate: CPU share, event-loop lag, memory.
# Run it with bench/gui_load.sh.
add_executable(gui_load_bench ${CMAKE_CURRENT_LIST_DIR}/GuiLoadBench.cpp)
target_link_libraries(gui_load_bench PRIVATE halvane_ui halvane_sim)
