// What a pack shows while it runs and when it is done. The progress line is
// redrawn in place on standard error, only when that is a terminal, at most
// every tenth of a second, clipped to the terminal's width, and cleared
// before the summary, which is one line on standard output.
#pragma once

#include <stdint.h>

#include <chrono>
#include <string>

class PackProgress {
 public:
  PackProgress(bool shown, uint64_t records, uint64_t content_bytes);
  void compressing(uint64_t done_records, uint64_t done_bytes);
  // Clears the progress line.
  void finish();

 private:
  void draw(const std::string& text);
  // The columns one line may fill without wrapping.
  size_t line_room() const;
  bool shown_;
  uint64_t records_;
  uint64_t content_bytes_;
  size_t drawn_length_ = 0;
  std::chrono::steady_clock::time_point last_draw_;
};

// "1.5 MiB" and the like; exact below one KiB.
std::string human_size(uint64_t bytes);

void print_pack_summary(const std::string& output, uint64_t records, uint64_t content_bytes,
                        uint64_t executable_bytes, double seconds);
