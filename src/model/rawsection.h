// Sections this version of the program does not read: a board, port, workstation or device of
// a class this build does not have. Such a section is kept as it stood: a node of the tree
// shows its code and size, counts where the section stood (board and port counts, a port's
// devices), and writes the very same bytes back in its place. The signals its source tables
// name keep their places in the signal storage, so the storage indexes of everything after it
// stay those the controller uses.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/item.h"

namespace t32 {

class TConfig;
class TTree;

class TRawSection : public TItem {
 public:
  // bytes: the whole section, its head included. extendedFormat: whether the image stores
  // output rows by storage index (tells output tables from source tables).
  TRawSection(std::vector<std::uint8_t> bytes, bool extendedFormat);
  ~TRawSection() override;
  const char* ClassName() const override { return "TRawSection"; }
  int SectionCode() const override { return code_; }
  void UpdateNode() override;
  void LoadFromImage(TConfig&) override {}
  void LoadFromShortImage(TConfig&) override {}
  void SaveToImage(TConfig& c) override;
  void EnumerateSignals(TStorageLists& lists) override;
  void DumpExtra(std::string& out, const std::string& indent) const override;

  std::size_t Size() const { return keptSection.size(); }
  // Source tables found in the section, read-only, in section order.
  const std::vector<std::unique_ptr<TParams>>& SourceTables() const { return tables_; }

 private:
  void FindTables(std::size_t from, std::size_t to, int parentCode, int depth, bool extendedFormat);
  int code_ = 0;
  std::vector<std::unique_ptr<TParams>> tables_;
};

// Keeps the long-record section whose record stands at `at` as a raw node, the last child of
// parent. Returns the node, or null when no section can be read there.
TNode* KeepRawSection(TTree& tree, TNode* parent, const TConfig& c, std::int32_t at);

// Keeps every section nested in the current one (Pos just behind its head) as raw children of
// the item: for items whose child classes this build does not have.
void KeepChildSections(TItem& parent, TConfig& c);

// Said once after reading an image that held sections kept as they stood.
extern const char* const kKeptSectionsMessage;
// Said once after reading an old short-record image that held sections this version cannot
// read: they cannot be kept, since only long records are written.
extern const char* const kDroppedSectionsMessage;

// Shown on the page of an item kept as it stood.
extern const char* const kKeptItemNote;

// Whether any item of the tree was kept as it stood.
bool HasKeptSections(const TTree& tree);

}  // namespace t32
