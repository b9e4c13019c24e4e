# libFuzzer target over the rules and text operations; clang only.
foreach(layer quor_text quor_system quor_engine)
  target_compile_options(${layer} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endforeach()
add_executable(fuzz_names fuzz/fuzz_names.cpp)
target_compile_options(fuzz_names PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(fuzz_names PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(fuzz_names PRIVATE quor_engine)
