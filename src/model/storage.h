// Signal storage (placeholder interface: the full storage comes with the signal tables).
#pragma once

namespace t32 {
class TDocument;
class TStorage {
 public:
  explicit TStorage(TDocument& doc) : doc_(doc) {}
  void Enable(bool on) { enabled_ = on; }
  bool Enabled() const { return enabled_; }
  void Clear() {}
  void ClearLegacyNames() {}
  void Rebuild() {}

 private:
  TDocument& doc_;
  bool enabled_ = true;
};
}  // namespace t32
