#include "progress.h"

namespace tool {

constexpr unsigned kBarWidth = 30;

Progress::Progress(Console& con, std::string label, uint64_t total)
    : con_(con), label_(std::move(label)), total_(total) {
  update(0);
}

Progress::~Progress() { finish(); }

void Progress::update(uint64_t done) {
  if (!con_.progress || finished_) return;
  const unsigned percent = total_ ? unsigned((done > total_ ? total_ : done) * 100 / total_) : 100;
  if (int(percent) != shown_) draw(percent);
}

void Progress::finish() {
  if (!con_.progress || finished_) return;
  if (shown_ != 100) draw(100);
  con_.err << "\n";
  con_.err.flush();
  finished_ = true;
}

void Progress::draw(unsigned percent) {
  shown_ = int(percent);
  const unsigned filled = percent * kBarWidth / 100;
  con_.err << "\r" << label_ << " [" << std::string(filled, '#') << std::string(kBarWidth - filled, '.')
           << "] " << percent << "%";
  con_.err.flush();
}

}  // namespace tool
