# libFuzzer target for the DNS configuration store's file reader.
if(QUELLNET_FUZZ)
  add_executable(fuzz_dns_store ${CMAKE_CURRENT_LIST_DIR}/fuzz_dns_store.cpp)
  target_link_libraries(fuzz_dns_store PRIVATE quellnet_platform)
  # No moc here, so no fuzz_*_autogen folder that the runner would take for a target.
  set_target_properties(fuzz_dns_store PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  target_compile_options(fuzz_dns_store PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz_dns_store PRIVATE -fsanitize=fuzzer,address,undefined)
  # The reader lives in the platform library, which needs the same instrumentation.
  target_compile_options(quellnet_platform PRIVATE
                         -fsanitize=address,undefined -fsanitize=fuzzer-no-link)
endif()
