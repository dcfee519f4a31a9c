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
add_test(NAME network_fuzz COMMAND network_fuzz --seed 1 --packets ${VANTOR_NET_FUZZ_PACKETS})
set_tests_properties(network_fuzz PROPERTIES LABELS network TIMEOUT 300)
