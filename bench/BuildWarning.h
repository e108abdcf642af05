// Says so when a benchmark runs from a build whose timings mean little.
#ifndef BENCH_BUILDWARNING_H_
#define BENCH_BUILDWARNING_H_

#include <cstdio>

inline void WarnAboutBuild() {
#if !defined(__OPTIMIZE__)
  std::printf("WARNING: optimization is disabled: benchmarks unnecessarily slow\n");
#endif
#if !defined(NDEBUG)
  std::printf("WARNING: assertions are enabled: benchmarks unnecessarily slow\n");
#endif
#if defined(__SANITIZE_ADDRESS__)
  std::printf("WARNING: built with sanitizers: benchmarks unnecessarily slow\n");
#endif
}

#endif  // BENCH_BUILDWARNING_H_
