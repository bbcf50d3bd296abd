lumenfold_add_bench(context_store_bench
  SOURCES context_store_bench.cpp
  LIBS lumenfold_lodestar)
lumenfold_add_bench(graph_load_bench
  SOURCES graph_load_bench.cpp bench_support.cpp
  LIBS lumenfold_lodestar)
lumenfold_add_bench(mcp_latency_bench
  SOURCES mcp_latency_bench.cpp bench_support.cpp
  LIBS lumenfold_lodestar)
lumenfold_add_bench(agent_tools_bench
  SOURCES agent_tools_bench.cpp bench_support.cpp
  LIBS lumenfold_lodestar lumenfold_tsl_module)
