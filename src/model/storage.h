// The signal storage: for each signal type one list gathering the rows of every source table
// of that type in tree order. A row's position there (its storage index) is the signal's number
// inside the controller. The storage also keeps the name lists of old short-record images and
// the ТИ template. Look-ups by name and by default name go through hash indexes that follow
// the lists and the names, so rebuilds and relinking stay linear.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/params.h"

namespace t32 {

class TDocument;

// The six storage lists handed to EnumerateSignals.
struct TStorageLists {
  std::array<TParams*, 7> byType{};  // index = type 1..6
  std::array<int, 7> dropped{};      // rows that did not fit, per type
  // Rows gathered by a rebuild before they go into the lists.
  std::array<std::vector<const TParamRef*>, 7> gathered;
  TParams* ByType(int type) const { return ValidSignalType(type) ? byType[static_cast<std::size_t>(type)] : nullptr; }
  // Appends a source table to the list of its type.
  void Append(const TParams* table);
};

class TStorage {
 public:
  explicit TStorage(TDocument& doc);
  ~TStorage();

  void Enable(bool on) { enabled_ = on; }
  bool Enabled() const { return enabled_; }

  // The list of type 1..6 (ТС for anything else). Array order of the panel's tabs is by type.
  TParams& List(int type);
  const TParams& List(int type) const;

  void Rebuild();
  void Clear();
  // Called after every rebuild (and by RefreshViews): the views redraw.
  std::function<void()> onRefresh;
  void RefreshViews();

  TParamRef FindByDefaultName(int type, const std::string& s);
  TParamRef FindByName(int type, const std::string& s);
  TParamRef AcquireByName(int type, const std::string& s) { return FindByName(type, s); }
  TParamRef AcquireMatching(int type, const std::string& s);
  TParamRef AcquireByIndex(int type, int index);
  int IndexOf(int type, const TParam* row);
  int IndexOfRelinked(int type, TParamRef& row);
  // Controller address of a source row: address base + storage index, or -1.
  int AddressOf(int type, const TParam* row);

  // Names from short-record images (ТС, ТУ, ТИ, ТР; others ignored).
  void ClearLegacyNames();
  void PutLegacyName(int index, int type, std::uint8_t width, const std::string& name);
  int LegacyCount(int type) const;
  const std::string& LegacyName(int type, int index) const;
  std::uint8_t LegacyWidth(int index) const;

  // "Вернуть исходное имя": selected rows of the list take their default names.
  void RestoreDefaultNames(int type);
  // The last selected row of the list, with a reference (none when nothing is selected).
  TParamRef TakeSelectedRow(int type);

  TTITemplate tiTemplate;

 private:
  // Each index remembers the rows it was built from: a rebuild that refills a list with the
  // same rows in the same order keeps the index.
  struct Snapshot {
    std::uint64_t mod = ~0ull;
    std::vector<const TParam*> rows;
    bool Current(const TParams& l);
    void Take(const TParams& l);
  };
  struct NameIndex {
    Snapshot snap;
    std::uint64_t epoch = ~0ull;
    std::unordered_map<std::string, int> first;
  };
  struct TailIndex {
    Snapshot snap;
    std::uint64_t epoch = ~0ull;
    std::unordered_map<std::string, std::vector<int>> byTail;
  };
  struct PtrIndex {
    Snapshot snap;
    std::unordered_map<const TParam*, int> pos;
  };
  const NameIndex& DefaultIndex(int type);
  const NameIndex& NameIdx(int type);
  const TailIndex& Tails(int type);
  const PtrIndex& Ptrs(int type);

  TDocument& doc_;
  bool enabled_ = true;
  std::array<std::unique_ptr<TParams>, 7> lists_;
  std::array<NameIndex, 7> byDefault_, byName_;
  std::array<TailIndex, 7> byTail_;
  std::array<PtrIndex, 7> byPtr_;
  std::array<int, 7> dropped_{};
  // Rows stamped by the last rebuild: IndexOf without a look-up while the list is unchanged.
  std::array<std::uint64_t, 7> stamp_{};
  std::array<std::uint64_t, 7> stampMod_{};
  std::array<std::vector<std::string>, 7> legacy_;
  std::vector<std::uint8_t> legacyWidth_;
};

}  // namespace t32
