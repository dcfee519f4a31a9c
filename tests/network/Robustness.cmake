# What the network layer costs and what it withstands, beside the engine tests of
# CMakeLists.txt (which includes this file).

# Bytes a client a second and the server's time a frame for a crowd of 500 shared
# entities and 64 clients, and a message's round trip (built, not run by ctest).
add_executable(network_benchmark network_benchmark.cpp Relay.cpp)
target_include_directories(network_benchmark PRIVATE ${PROJECT_SOURCE_DIR}/net/src)
target_link_libraries(network_benchmark PRIVATE n3d enet vantor_base)

# The packet fuzzer: a bounded seeded run as a test; run it by hand with
# --seconds S for as long as wanted.
set(VANTOR_NET_FUZZ_PACKETS 60000 CACHE STRING "Packets of the network fuzzer's test run")
add_executable(network_fuzz network_fuzz.cpp Relay.cpp)
target_include_directories(network_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/net/src)
target_link_libraries(network_fuzz PRIVATE n3d enet vantor_base vantor_test_fuzz)
add_test(NAME network_fuzz COMMAND network_fuzz --strict --seed 1 --packets ${VANTOR_NET_FUZZ_PACKETS})
set_tests_properties(network_fuzz PROPERTIES LABELS network TIMEOUT 300)

# A headless server engine against hostile peers: UDP garbage, other protocols,
# forged and broken packets from peers that joined, a flood of joins past its most.
add_executable(network_hostile_tests hostile_test.cpp Relay.cpp ${PROJECT_SOURCE_DIR}/tests/engine/support/BoxFile.cpp)
target_include_directories(network_hostile_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/engine/support ${PROJECT_SOURCE_DIR}/net/src)
target_link_libraries(network_hostile_tests PRIVATE n3d enet vantor_base vantor_test_support assimp::assimp raylib GTest::gtest_main)
target_compile_definitions(network_hostile_tests PRIVATE
  VANTOR_ENGINE="$<TARGET_FILE:engine>"
  VANTOR_NET_GAME="$<TARGET_FILE:module_net_game>")
add_dependencies(network_hostile_tests engine module_net_game)
gtest_discover_tests(network_hostile_tests PROPERTIES LABELS network TIMEOUT 120)

# The layer alone: a server and a client session in one process on a clock of the test's own.
add_executable(network_layer_tests snapshot_time_test.cpp Relay.cpp)
target_include_directories(network_layer_tests PRIVATE ${PROJECT_SOURCE_DIR}/net/src)
target_link_libraries(network_layer_tests PRIVATE n3d enet vantor_base GTest::gtest_main)
gtest_discover_tests(network_layer_tests PROPERTIES LABELS network TIMEOUT 60)
