# Image-file parsers under libFuzzer with AddressSanitizer and UBSan, fed in memory. The parsers'
# sources are compiled into the target itself, so only they carry the fuzzer's instrumentation.
add_executable(firmware_file_fuzzer
    ${CMAKE_CURRENT_LIST_DIR}/FirmwareFileFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/src/firmware/FirmwareUpdaterGlobalUnit.cpp
    ${PROJECT_SOURCE_DIR}/src/firmware/AVRFirmwareParserUnit.cpp
    ${PROJECT_SOURCE_DIR}/src/firmware/DSPFirmwareParserUnit.cpp)
target_include_directories(firmware_file_fuzzer PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(firmware_file_fuzzer PRIVATE Qt6::Core)
target_compile_options(firmware_file_fuzzer PRIVATE
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
target_link_options(firmware_file_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined)
set_target_properties(firmware_file_fuzzer PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
