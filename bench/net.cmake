# The network status stream at full line rate against a real broker: CPU added, status delay,
# memory with the broker down. Run: mqtt_bench [--seconds=20] [--down-seconds=60]
add_executable(mqtt_bench ${CMAKE_CURRENT_LIST_DIR}/MqttBench.cpp)
target_link_libraries(mqtt_bench PRIVATE halvane_net halvane_sim)
