// Writes the benchmarks' large registry as a .reg file, for importing it into
// Wine's registry with regedit (bench/run_wine_benchmark.sh).
//
//   make_bench_registry OUT.reg
//
// Exit status: 0 written, 1 the file could not be written, 64 usage error.
#include <cstdio>
#include <string>

#include "bench_registry.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_bench_registry OUT.reg\n", stderr);
    return 64;
  }
  const std::string text = bench::RegistryText();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  // A full disk may show only when the buffered rest is flushed.
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "make_bench_registry: writing %s failed\n", argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
