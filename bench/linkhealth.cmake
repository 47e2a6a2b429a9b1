# The link's health through the operator window against the simulator in real time: unplug to
# "Connection error", return to the first frame, CPU while looking for a lost device.
if(NOT HALVANE_CORE_ONLY)
    add_executable(link_health_bench ${CMAKE_CURRENT_LIST_DIR}/LinkHealthBench.cpp)
    target_link_libraries(link_health_bench PRIVATE halvane_ui halvane_sim benchmark::benchmark)
endif()
