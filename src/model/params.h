// Signal tables: rows (TParam) shared between the source table that owns them, the output
// tables of ports that pass them on and the storage lists; the tables (TParams and its six
// types) with their naming rules, image sections and the editing operations the editors use.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/item.h"

namespace t32 {

class TStorage;
class TProc;

// Signal types (the table's signal kind).
enum TSignalType : std::uint8_t { kSigTS = 1, kSigTU = 2, kSigTI = 3, kSigTII = 4, kSigTR = 5, kSigMTS = 6 };
// Table roles (the item's role byte).
enum TTableRole : std::uint8_t { kRoleSource = 0, kRoleOutput = 1, kRoleStorage = 2 };

// Rows per table and per storage list: a storage index is 13 bits, above it the controller's
// address of a signal would fall into the next type's address range.
constexpr int kMaxRows = 8192;
constexpr std::uint16_t kNoIndex = 0xFFFF;

struct TSignalTypeInfo {
  int type;
  const char* tableClass;
  int sectionCode;
  int countKey;
  const char* tableName;
  int icon;
  std::uint16_t addressBase;
};
// Type 1..6; anything else gives the ТС entry.
const TSignalTypeInfo& SignalTypeInfo(int type);
bool ValidSignalType(int type);

class TParam;
// A row is held by shared ownership: every table (and every ТУ row that uses it as a blocking
// signal) holds one reference; the last holder that lets go frees it, and a row still held
// can never be freed. The count cannot overflow.
using TParamRef = std::shared_ptr<TParam>;

class TParam : public std::enable_shared_from_this<TParam> {
 public:
  std::int16_t number = 0;
  std::uint8_t valueWidth = 0;
  bool locked = false;
  bool selected = false;
  bool unresolved = false;
  std::uint8_t tsKind = 0;     // 0 single, 1 first of a double-point pair, 2 second
  std::uint8_t inversion = 0;  // 0 or 4
  float gain = 0;
  float offset = 0;
  std::uint32_t value = 0;  // last value read from the controller
  std::string group;        // ТИ sporadic group name, empty = none
  std::string prefix;
  TParamRef blockOn;   // ТУ: ТС blocking the "on" command
  TParamRef blockOff;  // ТУ: ТС blocking the "off" command

  const std::string& Name() const { return name_; }
  const std::string& DefaultName() const { return defaultName_; }
  // Both cut to 64 characters.
  void SetName(std::string_view name);
  void SetDefaultName(std::string_view name);
  // The name drawn in blue: it differs from the owner's name.
  bool Renamed() const { return name_ != defaultName_; }
  // The part of the name after the prefix and its dot; the same of the default name.
  std::string Suffix() const;
  std::string DefaultSuffix() const;
  // Name := prefix + "." + suffix (cut to 64).
  void SetSuffix(std::string_view suffix);
  // Keeps the owner's prefix when the name begins with it and a dot; else
  // prefix := SplitPrefix(name).
  void SplitPrefix();
  // Number of holders (tables, blocking references, acquired handles).
  long RefCount() const { return weak_from_this().use_count(); }

  // Where the last storage rebuild put the row (kept by the storage; see TStorage::IndexOf).
  std::uint64_t storageStamp = 0;
  std::int32_t storageIndex = -1;

  // Change counters of all names and default names, for the storage's look-up indexes.
  static std::uint64_t NameEpoch();
  static std::uint64_t DefaultNameEpoch();

 private:
  std::string name_;
  std::string defaultName_;
};

// ТИ settings the user keeps to apply to other rows (not stored anywhere).
struct TTITemplate {
  bool present = false;
  float gain = 0;
  float offset = 0;
  std::string group;
};

class TParams : public TItem {
 public:
  explicit TParams(int type, int role = kRoleSource);
  ~TParams() override;

  const char* ClassName() const override { return SignalTypeInfo(signalKind).tableClass; }
  int SectionCode() const override { return SignalTypeInfo(signalKind).sectionCode; }
  int Type() const { return signalKind; }
  int CountKey() const { return SignalTypeInfo(signalKind).countKey; }
  bool IsSource() const { return role == kRoleSource; }
  bool IsOutput() const { return role == kRoleOutput; }

  TItem* owner = nullptr;
  bool referencesPending = false;
  std::uint16_t addressBase = 0;

  // --- rows ----------------------------------------------------------------------------
  int Count() const { return static_cast<int>(rows_.size()); }
  TParam* At(int i) const { return i >= 0 && i < Count() ? rows_[static_cast<std::size_t>(i)].get() : nullptr; }
  const TParamRef& Ref(int i) const;
  const std::vector<TParamRef>& Rows() const { return rows_; }
  int IndexOfRow(const TParam* p) const;
  bool Holds(const TParam* p) const { return IndexOfRow(p) >= 0; }
  // Changes whenever a slot changes; the storage's indexes follow it.
  std::uint64_t ModCount() const { return modCount_; }

  // A new row of this table's type: ТИ rows start with value width 2.
  virtual TParamRef NewParam() const;
  // Every operation that would take the table past kMaxRows refuses with a message and
  // changes nothing.
  bool Append(TParamRef row);
  bool InsertRow(int at, TParamRef row);
  // Replaces slot i (the old row is released).
  void SetRow(int i, TParamRef row);
  // Releases the row at i and closes the gap.
  void RemoveRow(int i);
  void ClearRows();
  // A new plain row with empty names at index (rows from there move down).
  bool NewEmptyRow(int index);
  void LockRows();

  // --- building by the owner -----------------------------------------------------------
  // count 0 only renames; rows are named prefix.Пр1, prefix.Пр2, ...
  bool Build(int count, const std::string& prefix);
  // Rows named prefix.entry; rows whose default suffix is offered again are kept.
  bool BuildFromList(const std::vector<std::string>& list, std::uint8_t width, const std::string& prefix);

  // --- names ---------------------------------------------------------------------------
  // Prefix: empty without a dot; the first word for at most two words; else words 1..n-1.
  static std::string SplitPrefix(std::string_view name);
  // The name without its first prefixChars + 1 characters.
  static std::string NameSuffix(std::string_view name, std::size_t prefixChars);
  static std::string ReprefixName(std::string_view name, std::size_t oldPrefixChars, std::string_view newPrefix);

  // --- storage -------------------------------------------------------------------------
  // Appends this table's rows to a storage list (no ownership taken); returns the number of
  // rows that did not fit.
  int AppendTo(TParams& list) const;
  // Storage lists: takes these rows (shared) unless the list holds exactly them already, so
  // an unchanged rebuild keeps the list, its indexes and the rows' counts untouched.
  bool AssignRows(const std::vector<const TParamRef*>& refs);
  // After a whole configuration was read: output rows from the storage, ТУ blocking signals.
  void ResolveReferences();
  // Output table: rows to be resolved by name by the next ResolveReferences (an old image's
  // name lists); the current rows are dropped.
  void SetPendingNames(std::vector<std::string> names);
  // Output table: rows whose source vanished become unresolved; unresolved rows whose
  // source came back (same default name) take the source's row.
  void RelinkOutputRows();

  // --- editing (storage panel and table editors) ---------------------------------------
  // "Добавить выбранные" / "Добавить все" from a storage list.
  bool AddFromList(const TParams& list, bool all);
  // Drop of the list's selected rows at position pos.
  bool InsertSelected(const TParams& list, int pos);
  // "Удалить выбранные" / "Удалить все": kept rows close up in order.
  bool RemoveRows(bool all);
  // "Добавить пустую строку": an empty row before the focused one (focused < 0: at 0).
  bool AddEmptyRow(int focused);
  // "Очистить выбранные": selected rows become empty rows in place.
  void ClearSelected();
  // "Сдвинуть вверх" / "Сдвинуть вниз": only names move.
  void MoveNamesUp();
  void MoveNamesDown();
  // Drag inside the table: the selected rows move, in order, to pos (Count(): the end).
  void MoveSelectedTo(int pos);
  // "Установить настройки ТИ по шаблону".
  void ApplyTemplate(const TTITemplate& t);
  // Name editor commit: prefix + "." + edited text; a name already used by a row of this type
  // in the storage becomes name_повтор1, _повтор2, ...; then the storage is rebuilt.
  void RenameRow(int i, std::string_view editedSuffix);
  // "Инверсия" click; refused for locked rows and on ports that own their inversion.
  void ToggleInversion(int i);
  // "Тип" chooser: kind 0 or 1; false when the row cannot start a pair.
  bool SetPairKind(int i, int kind);
  void SetGroupOfSelected(const std::string& group);
  // ТИ dialog "Принять".
  void AcceptTI(int i, float gain, float offset, const std::string& group);
  // ТУ dialog "Принять": names from the ТС storage list (empty or unknown: none).
  void SetBlocking(int i, const std::string& onName, const std::string& offName);
  void SelectOnly(int i);
  void ClearSelection();

  // --- item ----------------------------------------------------------------------------
  void Create(TNode* n) override;
  void UpdateNode() override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig&) override {}
  void DumpExtra(std::string& out, const std::string& indent) const override;

  TStorage* Storage() const;
  TProc* Proc() const;
  // Image count of an output table read but not yet resolved.
  int PendingCount() const { return pendingCount_; }

 protected:
  bool RefuseOver(std::size_t newCount);
  void Touch() { ++modCount_; }

 private:
  std::vector<TParamRef> rows_;
  std::uint64_t modCount_ = 0;
  // What the last relinking saw: it is a function of these rows, the storage list of this
  // type and the default names, so while none of them changed it has nothing to do.
  const TParams* relinkList_ = nullptr;
  std::uint64_t relinkListMod_ = 0, relinkMod_ = 0, relinkEpoch_ = 0;
  // Image buffers between reading and ResolveReferences.
  int pendingCount_ = 0;
  std::vector<std::uint16_t> indexBuf_;
  std::vector<std::string> nameBuf_;
  std::vector<std::uint16_t> blockOnBuf_, blockOffBuf_;
  bool haveIndexes_ = false;
};

class TParamsTS : public TParams {
 public:
  explicit TParamsTS(int role = kRoleSource) : TParams(kSigTS, role) {}
};
class TParamsTU : public TParams {
 public:
  explicit TParamsTU(int role = kRoleSource) : TParams(kSigTU, role) {}
};
class TParamsTI : public TParams {
 public:
  explicit TParamsTI(int role = kRoleSource) : TParams(kSigTI, role) {}
};
class TParamsTII : public TParams {
 public:
  explicit TParamsTII(int role = kRoleSource) : TParams(kSigTII, role) {}
};
class TParamsTR : public TParams {
 public:
  explicit TParamsTR(int role = kRoleSource) : TParams(kSigTR, role) {}
};
class TParamsMTS : public TParams {
 public:
  explicit TParamsMTS(int role = kRoleSource) : TParams(kSigMTS, role) {}
};

// A table object of the given type (1..6).
std::unique_ptr<TParams> MakeParams(int type, int role = kRoleSource);

}  // namespace t32
