# Start-up: process start to first frame, the app against a minimal Qt Quick window.
if(TARGET quellnet)
  find_package(Qt6 REQUIRED COMPONENTS Quick)
  qt_add_executable(minimal_window ${CMAKE_CURRENT_LIST_DIR}/minimal_window.cpp)
  target_link_libraries(minimal_window PRIVATE Qt6::Quick)
  target_include_directories(minimal_window PRIVATE ${CMAKE_SOURCE_DIR}/Quellnet)
  add_executable(startup_bench ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp)
  target_link_libraries(startup_bench PRIVATE Qt6::Core)
  target_compile_definitions(startup_bench PRIVATE
    QUELLNET_APP_PATH="$<TARGET_FILE:quellnet>"
    MINIMAL_WINDOW_PATH="$<TARGET_FILE:minimal_window>")
  add_dependencies(startup_bench quellnet minimal_window)
endif()
