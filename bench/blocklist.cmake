# Blocklist store against bare SQLite: insert+save, delete+save, opening 200 records.
add_executable(blocklist_bench ${CMAKE_CURRENT_LIST_DIR}/blocklist_bench.cpp)
target_link_libraries(blocklist_bench PRIVATE quellnet_blocklist)
