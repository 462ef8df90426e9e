#include "pack_progress.h"

#include <inttypes.h>
#include <stdio.h>

#include <algorithm>

#include "terminal.h"

namespace {

// Often enough to look alive, rarely enough to cost nothing.
const auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

PackProgress::PackProgress(bool shown, uint64_t records, uint64_t content_bytes)
    : shown_(shown), records_(records), content_bytes_(content_bytes) {}

void PackProgress::compressing(uint64_t done_records, uint64_t done_bytes) {
  if (!shown_) return;
  auto now = std::chrono::steady_clock::now();
  if (drawn_length_ != 0 && now - last_draw_ < kRedrawInterval) return;
  unsigned percent = content_bytes_ == 0 ? 100 : static_cast<unsigned>(done_bytes * 100 / content_bytes_);
  char line[160];
  snprintf(line, sizeof line, "packing: file %" PRIu64 " of %" PRIu64 ", %s of %s (%u%%)",
           done_records, records_, human_size(done_bytes).c_str(),
           human_size(content_bytes_).c_str(), percent);
  draw(line);
}

void PackProgress::finish() {
  if (!shown_ || drawn_length_ == 0) return;
  size_t blanks = std::min(drawn_length_, line_room());
  fprintf(stderr, "\r%*s\r", static_cast<int>(blanks), "");
  fflush(stderr);
  drawn_length_ = 0;
}

// A line that reached the last column would wrap on some terminals, and
// every redraw would then start a new line.
size_t PackProgress::line_room() const {
  int width = stderr_terminal_width();
  return width > 1 ? static_cast<size_t>(width - 1) : 1;
}

void PackProgress::draw(const std::string& text) {
  if (!shown_) return;
  size_t room = line_room();
  std::string shown = text.substr(0, room);
  // Blanks cover what is left of a longer previous line.
  size_t covered = std::min(drawn_length_, room);
  int pad = covered > shown.size() ? static_cast<int>(covered - shown.size()) : 0;
  fprintf(stderr, "\r%s%*s", shown.c_str(), pad, "");
  fflush(stderr);
  drawn_length_ = shown.size() + pad;
  last_draw_ = std::chrono::steady_clock::now();
}

std::string human_size(uint64_t bytes) {
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  double value = bytes / 1024.0;
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

void print_pack_summary(const std::string& output, uint64_t records, uint64_t content_bytes,
                        uint64_t executable_bytes, double seconds) {
  double ratio = content_bytes == 0 ? 0 : 100.0 * executable_bytes / content_bytes;
  printf("packed %" PRIu64 " %s, %s, into %s: %s (%.1f%% of the input) in %.1f s\n", records,
         records == 1 ? "file" : "files", human_size(content_bytes).c_str(), output.c_str(),
         human_size(executable_bytes).c_str(), ratio, seconds);
}
