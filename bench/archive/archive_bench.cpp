// Prints compressed size and throughput of our -lh5- writer and of `gzip -6` on the same
// CSV text, shaped like a save run's trace files (comma-separated numbers, CRLF).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "platform/archive/lh5_encoder.h"

namespace {

std::string SaveFolderText(std::size_t bytes) {
  std::mt19937 random(11);
  std::string text;
  double a = 0, b = 50;
  for (long row = 0; text.size() < bytes; ++row) {
    a += static_cast<int>(random() % 7) - 3;
    b = b * 0.9 + (random() % 100) * 0.1;
    text += std::to_string(row) + "," + std::to_string(static_cast<int>(a)) + "," + std::to_string(static_cast<int>(b * 10) / 10.0).substr(0, 5) +
            "," + std::to_string(random() % 4) + ",0,1500\r\n";
  }
  return text;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  const std::string text = SaveFolderText(4u << 20);
  const double mb = text.size() / 1e6;
  auto start = std::chrono::steady_clock::now();
  const auto packed = platform_archive::EncodeLh5(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  const double ourSeconds = Seconds(start);
  const char* input = "/tmp/archive_bench_input.csv";
  std::ofstream(input, std::ios::binary) << text;
  start = std::chrono::steady_clock::now();
  std::FILE* pipe = ::popen("gzip -6 -c /tmp/archive_bench_input.csv", "r");
  if (!pipe || !packed) {
    std::fprintf(stderr, "cannot run gzip or encode\n");
    return 1;
  }
  std::size_t gzipBytes = 0;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) gzipBytes += got;
  ::pclose(pipe);
  const double gzipSeconds = Seconds(start);
  std::remove(input);
  std::printf("input            %.2f MB CSV\n", mb);
  std::printf("lh5 (ours)       %zu bytes, ratio %.3f, %.1f MB/s\n", packed->size(), packed->size() / double(text.size()), mb / ourSeconds);
  std::printf("gzip -6          %zu bytes, ratio %.3f, %.1f MB/s (process included)\n", gzipBytes, gzipBytes / double(text.size()), mb / gzipSeconds);
  std::printf("ours / gzip      size %.3f, speed %.2f\n", packed->size() / double(gzipBytes), gzipSeconds / ourSeconds);
  return 0;
}
