# The stability statistics: full tables, the live update per bin, the analyser's file reading.
add_executable(StabilityBench ${CMAKE_CURRENT_LIST_DIR}/StabilityBench.cpp)
target_link_libraries(StabilityBench PRIVATE halvane_core benchmark::benchmark)
# Every kind of the stability analysis against its straightforward formula.
add_executable(StabilityKindsBench ${CMAKE_CURRENT_LIST_DIR}/StabilityKindsBench.cpp)
target_link_libraries(StabilityKindsBench PRIVATE halvane_core benchmark::benchmark)
