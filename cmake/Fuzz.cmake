# libFuzzer targets: the rules and text operations, and damaged history
# records through the history and the repair; clang only.
foreach(layer quor_text quor_system quor_engine)
  target_compile_options(${layer} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endforeach()
foreach(target fuzz_names fuzz_records)
  add_executable(${target} fuzz/${target}.cpp)
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${target} PRIVATE quor_engine)
endforeach()
# The records' fuzzer sees every rename that the code under test makes.
target_link_options(fuzz_records PRIVATE -Wl,--wrap=renameat2 -Wl,--wrap=rename)
