# libFuzzer target for the resolver list text form.
if(QUELLNET_FUZZ)
  add_executable(fuzz_resolver_list ${CMAKE_CURRENT_LIST_DIR}/fuzz_resolver_list.cpp)
  target_link_libraries(fuzz_resolver_list PRIVATE quellnet_resolver)
  # No moc here, so no fuzz_*_autogen folder that the runner would take for a target.
  set_target_properties(fuzz_resolver_list PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  target_compile_options(fuzz_resolver_list PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz_resolver_list PRIVATE -fsanitize=fuzzer,address,undefined)
  # The code under test needs the same instrumentation to be explored and checked.
  foreach(lib quellnet_resolver quellnet_platform)
    target_compile_options(${lib} PRIVATE -fsanitize=address,undefined -fsanitize=fuzzer-no-link)
  endforeach()
endif()
