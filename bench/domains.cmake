# The Domains screen: recomputing its rows per keystroke and one add, with 199 records.
if(TARGET quellnet_qml)
  add_executable(domains_bench ${CMAKE_CURRENT_LIST_DIR}/domains_bench.cpp)
  target_link_libraries(domains_bench PRIVATE quellnet_qml)
endif()
