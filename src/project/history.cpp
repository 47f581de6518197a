#include "project/history.h"

#include <cstring>

#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "project/compress.h"

namespace t32 {

namespace {
std::uint64_t Hash(const std::vector<std::uint8_t>& b) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (std::uint8_t c : b) h = (h ^ c) * 1099511628211ull;
  return h;
}
// Mode 1 (4 KiB window): images of tens of thousands of signals pack in a few milliseconds and
// still shrink several times, as their records repeat.
constexpr int kPackMode = 1;
}  // namespace

std::vector<std::uint8_t> THistory::Capture(TDocument& doc) {
  // The records are written as the window keeps them (output rows by storage index).
  bool ext = doc.extendedFormat;
  doc.extendedFormat = true;
  std::int32_t end = doc.WriteRecords();
  doc.extendedFormat = ext;
  const auto& img = doc.Config().Image();
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(end, TConfig::kDataStart)), img.size());
  return std::vector<std::uint8_t>(img.begin(), img.begin() + static_cast<std::ptrdiff_t>(n));
}

bool THistory::Restore(TDocument& doc, const std::vector<std::uint8_t>& image) {
  if (image.size() < static_cast<std::size_t>(TConfig::kDataStart)) return false;
  // Reading an image the program wrote itself has nothing to tell the user.
  TMessages* shown = &doc.Messages();
  TRecordedMessages quiet;
  doc.SetMessages(&quiet);
  doc.NewConfiguration();
  bool ok = doc.Config().SetImage(image);
  if (ok) {
    doc.extendedFormat = true;
    doc.Config().Pos = TConfig::kDataStart;
    doc.ReadRecords(false);
  }
  doc.extendedFormat = true;
  doc.SetMessages(shown);
  return ok;
}

void THistory::Reset(TDocument& doc, const TViewState& view) {
  states_.clear();
  bytes_ = 0;
  current_ = 0;
  currentRaw_.clear();
  Push(Capture(doc), view);
}

bool THistory::Commit(TDocument& doc, const TViewState& view) {
  std::vector<std::uint8_t> raw = Capture(doc);
  if (!states_.empty() && raw == currentRaw_) {
    states_[current_].view = view;
    return false;
  }
  // Whatever could have been redone is gone once a new edit is made.
  while (states_.size() > current_ + 1) {
    bytes_ -= states_.back().packed.size();
    states_.pop_back();
  }
  return Push(raw, view);
}

bool THistory::Push(const std::vector<std::uint8_t>& raw, const TViewState& view) {
  TState s;
  s.id = nextId_++;
  s.hash = Hash(raw);
  s.rawSize = raw.size();
  std::string err;
  if (!Deflate(raw.data(), raw.size(), kPackMode, s.packed, &err)) Deflate(raw.data(), raw.size(), 0, s.packed, &err);
  s.view = view;
  bytes_ += s.packed.size();
  states_.push_back(std::move(s));
  current_ = states_.size() - 1;
  currentRaw_ = raw;
  Trim();
  return true;
}

void THistory::Trim() {
  // The current state always stays, even when it alone is over the budget.
  while (states_.size() > 1 && (states_.size() > maxStates_ || bytes_ > maxBytes_) && current_ > 0) {
    bytes_ -= states_.front().packed.size();
    states_.pop_front();
    --current_;
  }
}

void THistory::SetView(const TViewState& view) {
  if (!states_.empty()) states_[current_].view = view;
}

bool THistory::Load(TDocument& doc, std::size_t index, TViewState* view) {
  const TState& s = states_[index];
  std::vector<std::uint8_t> raw;
  std::string err;
  if (!Inflate(s.packed.data(), s.packed.size(), raw, s.rawSize, &err) || raw.size() != s.rawSize ||
      Hash(raw) != s.hash)
    return false;
  if (!Restore(doc, raw)) return false;
  current_ = index;
  currentRaw_ = std::move(raw);
  if (view) *view = s.view;
  return true;
}

bool THistory::Undo(TDocument& doc, TViewState* view) { return CanUndo() && Load(doc, current_ - 1, view); }

bool THistory::Redo(TDocument& doc, TViewState* view) { return CanRedo() && Load(doc, current_ + 1, view); }

}  // namespace t32
