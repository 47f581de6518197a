// The IEC 104 station a polled IEC 104 device carries: connection parameters of a main and a
// reserve channel, station settings, and a tree of groups of information objects. The station
// travels to the controller as one serialised block (WriteTo/ReadFrom); the controller polls
// the station with it. Texts are UTF-8 here and cp1251 in the block.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/memstream.h"

namespace t32 {

class TMessages;

// ---------------------------------------------------------------------------------------------
// Tables shared by the dialogs, the import and the command-line tool.

enum : std::int32_t {
  kKindTS = 1001,
  kKindTS2 = 1004,
  kKindVTI = 1005,
  kKindTS32 = 1002,
  kKindMTS = 1003,
  kKindTI = 1009,
  kKindCounter = 1015,
  kKindTU1 = 1049,
  kKindTU2 = 1046,
  kKindTR = 1048,
  kKindRTU = 1047,
  kKindPort = 1050,
  kKindFile = 1051,
  kKindLog = 1052,
};

struct TKindInfo {
  std::int32_t code;
  const char* shortName;    // list column "тип данных" and the XML "type" value
  const char* description;  // the group dialog's list (trailing blanks are part of the text)
  const char* className;
};
// In the group dialog's order.
extern const std::array<TKindInfo, 14> kKinds;
const TKindInfo* KindInfo(std::int32_t code);
// First kind whose short name equals `name` exactly; 0 when none.
std::int32_t KindByShortName(std::string_view name);
// The kind's short name, or "" for a code outside the table.
const char* KindShortName(std::int32_t code);

struct TSendType {
  std::int32_t code;
  const char* name;
};
// ASDU type identifications a group may send (the 44 of the group's "sendtype").
extern const std::array<TSendType, 44> kSendTypes;
// Exact, case-sensitive name; 0 when unknown. "F_DR_TA_1" is taken for 126 as well.
std::int32_t SendTypeByName(std::string_view name);
const char* SendTypeName(std::int32_t code);  // "" when not in the table

struct TAskEntry {
  int qualifier;
  const char* caption;
};
// Interrogation command captions: index 0 = type 100, 1 = type 101.
extern const std::array<const char*, 2> kAskCommands;
extern const std::array<TAskEntry, 17> kAsk100;  // selectors 0..16
extern const std::array<TAskEntry, 6> kAsk101;   // selectors 0..5
// Number of selectors of an interrogation command (0 or 1); 0 for another value.
int AskSelectorCount(int command);

// Choice lists of the object dialog.
extern const std::array<const char*, 4> kCommandQualifiers;  // TTUItem, TTU1posItem options
extern const std::array<const char*, 2> kSetPointFormats;    // TTRItem options
extern const std::array<const char*, 3> kLogDataTypes;       // TRZAlogitem data type

// Value ranges used by the import and by both editors.
struct TRange {
  long long min, max;
};
namespace range104 {
inline constexpr TRange kTime{0, 60000};
inline constexpr TRange kWindow{0, 50};  // k and w
inline constexpr TRange kOctet{0, 255};
inline constexpr TRange kU16{0, 65535};
inline constexpr TRange kU32{0, 4294967295LL};
inline constexpr TRange kAddress{0, 16777215};  // object and base addresses
inline constexpr TRange kCommonAddress{0, 65535};
inline constexpr TRange kDataBits{0, 31};   // multi-bit ТС: data length minus 1
inline constexpr TRange kLogSize{1, 16};
}  // namespace range104

// The serialised station may not exceed the image entry it goes into.
inline constexpr std::size_t kMaxStationBytes = 1048576;
// Groups deeper than this are refused (the reader, the import and the editor alike).
inline constexpr int kMaxGroupDepth = 64;
extern const char* const kStationTooLarge;  // "Параметры станции не могут занимать больше 1 МБ: ..."

// A text as the station can hold it: characters cp1251 lacks become "?", and it is cut to 255
// characters. The flags say what happened.
std::string FitStationText(std::string_view utf8, bool* replaced = nullptr, bool* cut = nullptr);
// True for a text of at most 255 Latin or basic Cyrillic characters (a quick test that may
// say false for other texts the station can hold; FitStationText decides those).
bool StationTextFits(std::string_view utf8);

// ---------------------------------------------------------------------------------------------
// Information objects.

class TConfigItem;

// Families of object classes: Assign copies the kind-specific fields only within one.
enum class TFamily { kPlain, kMeasure, kMultiTS, kCommand, kSetPoint, kFile, kLog };

class TPProcItem {
 public:
  explicit TPProcItem(std::int32_t kind = 1000) : kind(kind) {}
  virtual ~TPProcItem() = default;

  std::int32_t kind;
  std::string name;
  std::uint16_t version = 2;  // object layout version
  std::uint8_t flag = 0;      // held as read
  std::uint8_t tick = 0;      // 1: the object becomes a signal of the polling device
  std::int32_t address = 0;   // relative to the group's base address
  TConfigItem* owner = nullptr;

  virtual const char* ClassName() const { return "TPProcItem"; }
  virtual TFamily Family() const { return TFamily::kPlain; }
  // The station's two built-in objects: always ticked, never cut, removed or moved.
  virtual bool BuiltIn() const { return false; }
  // An exact copy (kind, tick and all fields) without an owner.
  virtual std::unique_ptr<TPProcItem> Clone() const;
  // Name, address and, from an object of the same family, the kind-specific fields; the
  // target's kind, owner, tick and flag stay.
  void Assign(const TPProcItem& src);

  // The object after its kind code: name, version, flag, tick, address, extra fields.
  bool Write(TMemStream& s) const;
  bool Read(TMemStream& s);
  std::size_t SerialisedSize() const;  // including the kind code

 protected:
  TPProcItem(const TPProcItem&) = default;
  virtual bool WriteExtra(TMemStream&) const { return true; }
  virtual bool ReadExtra(TMemStream&) { return true; }
  virtual std::size_t ExtraSize() const { return 0; }
  virtual void AssignExtra(const TPProcItem&) {}
};

#define T32_PROC_ITEM(Class, Base, Family_)                                                      \
 public:                                                                                         \
  using Base::Base;                                                                              \
  const char* ClassName() const override { return #Class; }                                      \
  TFamily Family() const override { return Family_; }                                            \
  std::unique_ptr<TPProcItem> Clone() const override {                                           \
    auto* c = new Class(*this);                                                                  \
    c->owner = nullptr;                                                                          \
    return std::unique_ptr<TPProcItem>(c);                                                       \
  }

class TTSitem : public TPProcItem { T32_PROC_ITEM(TTSitem, TPProcItem, TFamily::kPlain) };
class TTS2Item : public TPProcItem { T32_PROC_ITEM(TTS2Item, TPProcItem, TFamily::kPlain) };
class TVTIitem : public TPProcItem { T32_PROC_ITEM(TVTIitem, TPProcItem, TFamily::kPlain) };
class TTS32item : public TPProcItem { T32_PROC_ITEM(TTS32item, TPProcItem, TFamily::kPlain) };
class TRTUitem : public TPProcItem { T32_PROC_ITEM(TRTUitem, TPProcItem, TFamily::kPlain) };
class TPortItem : public TPProcItem { T32_PROC_ITEM(TPortItem, TPProcItem, TFamily::kPlain) };

class TMultiTSitem : public TPProcItem {
  T32_PROC_ITEM(TMultiTSitem, TPProcItem, TFamily::kMultiTS)
  std::uint32_t dataLength = 0;  // bits minus 1 (0..31)
  std::uint32_t dataMask = 0;

 protected:
  bool WriteExtra(TMemStream& s) const override { return s.Put(dataLength) && s.Put(dataMask); }
  bool ReadExtra(TMemStream& s) override { return s.Get(dataLength) && s.Get(dataMask); }
  std::size_t ExtraSize() const override { return 8; }
  void AssignExtra(const TPProcItem& src) override;
};

class TTIitem : public TPProcItem {
  T32_PROC_ITEM(TTIitem, TPProcItem, TFamily::kMeasure)
  float scale = 1.0f;
  float offset = 0.0f;
  std::uint32_t options = 0;  // bit 0: read the value as an unsigned integer

 protected:
  bool WriteExtra(TMemStream& s) const override;
  bool ReadExtra(TMemStream& s) override;  // options only from object version 2 on
  std::size_t ExtraSize() const override { return 12; }
  void AssignExtra(const TPProcItem& src) override;
};
class TCounterItem : public TTIitem { T32_PROC_ITEM(TCounterItem, TTIitem, TFamily::kMeasure) };

class TTUItem : public TPProcItem {
  T32_PROC_ITEM(TTUItem, TPProcItem, TFamily::kCommand)
  std::uint32_t options = 0;  // command qualifier 0..3 (kCommandQualifiers)

 protected:
  bool WriteExtra(TMemStream& s) const override { return s.Put(options); }
  bool ReadExtra(TMemStream& s) override { return s.Get(options); }
  std::size_t ExtraSize() const override { return 4; }
  void AssignExtra(const TPProcItem& src) override;
};
class TTU1posItem : public TTUItem { T32_PROC_ITEM(TTU1posItem, TTUItem, TFamily::kCommand) };

class TTRItem : public TPProcItem {
  T32_PROC_ITEM(TTRItem, TPProcItem, TFamily::kSetPoint)
  std::uint32_t options = 0;  // 0 scaled (type 49), 1 normalised (type 48)

 protected:
  bool WriteExtra(TMemStream& s) const override { return s.Put(options); }
  bool ReadExtra(TMemStream& s) override { return s.Get(options); }
  std::size_t ExtraSize() const override { return 4; }
  void AssignExtra(const TPProcItem& src) override;
};

class TFileItem : public TPProcItem {
  T32_PROC_ITEM(TFileItem, TPProcItem, TFamily::kFile)
  std::uint16_t fileId = 0;
  std::uint16_t delay = 0;  // ms between segments
  std::string fileName;     // where the file lies on the engineer's computer

 protected:
  bool WriteExtra(TMemStream& s) const override;
  bool ReadExtra(TMemStream& s) override;
  std::size_t ExtraSize() const override;
  void AssignExtra(const TPProcItem& src) override;
};

// A protection log element: bytes 0..1 held as read, 2 size in bytes, 3 data type, 4..7
// offset (f32), 8..15 the scale (f32, real type) or the bit mask (64-bit, other types).
class TRZAlogitem : public TPProcItem {
  T32_PROC_ITEM(TRZAlogitem, TPProcItem, TFamily::kLog)
  TRZAlogitem(std::int32_t kind = kKindLog) : TPProcItem(kind) { element[2] = 1; }
  std::array<std::uint8_t, 16> element{};

  int Size() const { return element[2]; }
  void SetSize(int v) { element[2] = static_cast<std::uint8_t>(v); }
  int DataType() const { return element[3]; }
  void SetDataType(int v) { element[3] = static_cast<std::uint8_t>(v); }
  float Offset() const;
  void SetOffset(float v);
  float Scale() const;
  void SetScale(float v);  // bytes 8..11
  std::uint64_t Mask() const;
  void SetMask(std::uint64_t v);  // bytes 8..15

 protected:
  bool WriteExtra(TMemStream& s) const override { return s.MemPut(element.data(), 16); }
  bool ReadExtra(TMemStream& s) override { return s.MemGet(element.data(), 16); }
  std::size_t ExtraSize() const override { return 16; }
  void AssignExtra(const TPProcItem& src) override;
};

// The station's built-in objects.
class TPSitem : public TTS32item {
  T32_PROC_ITEM(TPSitem, TTS32item, TFamily::kPlain)
  bool BuiltIn() const override { return true; }
};
class TKPAskItem : public TTRItem {
  T32_PROC_ITEM(TKPAskItem, TTRItem, TFamily::kSetPoint)
  bool BuiltIn() const override { return true; }
};

#undef T32_PROC_ITEM

// An object of the class of `kind` (the kinds table, and 996, 998, 1000 as plain objects);
// null for any other code. A missing name stays empty: the station gives default names.
std::unique_ptr<TPProcItem> CreateObject(std::int32_t kind, std::string_view name = {});

// ---------------------------------------------------------------------------------------------
// Nodes.

class TGroup;
using TObjectList = std::vector<std::unique_ptr<TPProcItem>>;

// Why a serialised block could not be read, and where.
struct TStreamError {
  std::size_t position = 0;
  std::string what;  // Russian
  std::string Message() const;
};

class TConfigItem {
 public:
  virtual ~TConfigItem();
  TConfigItem(const TConfigItem&) = delete;
  TConfigItem& operator=(const TConfigItem&) = delete;

  std::uint32_t version = 3;
  std::int32_t level;
  std::string name;   // up to 255 characters
  std::string alias;  // kept and stored, not shown

  virtual bool IsStation() const = 0;
  // Name and alias (a group adds its record); the tree and the parent stay.
  void Assign(const TConfigItem& src) {
    name = src.name;
    alias = src.alias;
  }
  TConfigItem* Parent() const { return parent_; }
  // The station is 0, its groups 1, their subgroups 2, ...
  int Depth() const;
  // The group's base address; 0 for the station.
  virtual std::int32_t BaseAddress() const { return 0; }
  virtual std::string Caption() const { return name; }
  // Names of the groups from the station down, joined by "."; the station counts as empty.
  std::string PathName() const;

  const std::vector<std::unique_ptr<TGroup>>& Children() const { return children_; }
  TGroup* AddChild(std::unique_ptr<TGroup> child);  // sets the parent, appends
  TGroup* InsertChild(std::size_t index, std::unique_ptr<TGroup> child);
  void RemoveChild(TGroup* child);  // frees it with its subtree
  std::unique_ptr<TGroup> TakeChild(TGroup* child);
  void ClearChildren();
  TGroup* FindChild(std::string_view exactName) const;

  const TObjectList& Objects() const { return objects_; }
  TPProcItem* AddObject(std::unique_ptr<TPProcItem> obj);  // sets the owner, appends
  TPProcItem* InsertObject(std::size_t index, std::unique_ptr<TPProcItem> obj);
  std::unique_ptr<TPProcItem> TakeObject(std::size_t index);
  void ClearObjects();
  // Frees the objects whose index is marked; one pass however many. Returns how many.
  std::size_t EraseObjects(const std::vector<bool>& erase);
  TPProcItem* FindObject(std::string_view exactName) const;
  std::size_t IndexOf(const TPProcItem* obj) const;  // npos when not here

  // The serialised form of the node with its objects and subgroups.
  bool WriteTo(TMemStream& s) const;
  std::size_t SerialisedSize() const;
  std::vector<std::uint8_t> Serialise() const;
  // Reads a node written by WriteTo. A failure changes nothing and says where it happened.
  virtual bool ReadFrom(TMemStream& s, TStreamError* error = nullptr) = 0;

 protected:
  explicit TConfigItem(std::int32_t lvl) : level(lvl) {}
  virtual bool WriteRecords(TMemStream& s) const = 0;
  virtual bool ReadRecords(TMemStream& s) = 0;
  virtual std::size_t RecordsSize() const = 0;
  // Reads the whole node into `fresh` (a new node of this node's class) whose own depth in
  // the station is `depth`; false on failure.
  static bool ReadTree(TMemStream& s, TConfigItem& fresh, int depth, TStreamError* error);
  // Moves objects and children from `o` (parents and owners follow).
  void TakeTree(TConfigItem& o);

 private:
  TConfigItem* parent_ = nullptr;
  TObjectList objects_;
  std::vector<std::unique_ptr<TGroup>> children_;
};

struct TGroupRecord {
  std::int32_t baseAddress = 0;
  std::int32_t kind = 0;            // kind code of the group's objects; 0 = none chosen
  std::uint8_t askCommand = 0;      // 0: type 100, 1: type 101
  std::uint8_t askSelector = 0;     // index into kAsk100 / kAsk101
  std::uint16_t askPeriod = 0;      // s; 0 = none
  std::int32_t commonAddress = 0;   // common address of ASDU
  std::int32_t sendType = 0;        // ASDU type identification; 0 = none
  std::array<std::uint8_t, 12> held{};
};

class TGroup : public TConfigItem {
 public:
  // A requested level above 3 becomes 3.
  explicit TGroup(std::int32_t lvl = 3) : TConfigItem(lvl > 3 ? 3 : lvl) {}
  bool IsStation() const override { return false; }
  std::int32_t BaseAddress() const override { return record.baseAddress; }

  TGroupRecord record;

  // Name, alias and record (not the objects, subgroups or parent).
  using TConfigItem::Assign;
  void Assign(const TGroup& src);
  // A full copy with objects and subgroups, without a parent.
  std::unique_ptr<TGroup> DeepCopy() const;
  // Changes the kind: every object becomes an object of the new kind (as a paste converts
  // it), and only then the send type is reset. False, changing nothing, for a code outside
  // the kinds table. The same kind changes nothing.
  bool SetKind(std::int32_t kind);

  bool ReadFrom(TMemStream& s, TStreamError* error = nullptr) override;

 protected:
  bool WriteRecords(TMemStream& s) const override;
  bool ReadRecords(TMemStream& s) override;
  std::size_t RecordsSize() const override { return 32; }
};

struct TChannel104 {
  std::int32_t version = 0;           // layout version: the main record is written as 4
  std::array<std::uint8_t, 4> localIp{};
  std::int32_t t0 = 5;                // s
  std::int32_t reconnect = 10;        // s between connection attempts
  std::int32_t t1 = 15, t2 = 10, t3 = 30;
  std::int32_t k = 12, w = 8;
  std::array<std::uint8_t, 4> remoteIp{};
  bool operator==(const TChannel104&) const = default;
};

struct TStationSettings {
  std::uint16_t commonAddress = 0;
  std::uint8_t commandsWithTime = 0;
  std::uint8_t setPointsWithTime = 0;
  std::int32_t giInterval = 0;         // min; 0 = none
  std::uint16_t syncInterval = 0;      // min; 0 = none
  std::uint8_t noSyncOnConnect = 0;    // 1: no clock synchronisation on connection
  std::uint8_t extraChecksum = 0;
  std::uint8_t noGiOnConnect = 0;      // 1: no general interrogation on connection
  std::uint16_t linkLossDelay = 0;     // s
  std::uint8_t switchedOff = 0;
  bool operator==(const TStationSettings&) const = default;
};

struct TStationExtra {
  std::uint16_t mainPort = 0;          // 0: 2404
  std::uint16_t held1 = 0;
  std::int32_t askTimeout = 0;         // s
  std::uint16_t toReserveAfter = 0;    // min
  std::uint16_t retryMainEvery = 0;    // min
  std::uint16_t reservePort = 0;       // 0: 2404
  std::array<std::uint8_t, 6> held2{};
  bool operator==(const TStationExtra&) const = default;
};

// The clipboard of the station editor: copies of objects.
using TObjectClipboard = std::vector<std::unique_ptr<TPProcItem>>;

// What the cloning dialog gives.
struct TCloneParams {
  std::string nameTemplate;  // every "%%" becomes the counter
  long long count = 1;
  long long counterStart = 1, counterStep = 1;
  long long addressStart = 0, addressStep = 1;
};

class TWS_104 : public TConfigItem {
 public:
  TWS_104();
  bool IsStation() const override { return true; }
  // The name, or the main channel's remote address when the name is empty.
  std::string Caption() const override;

  TChannel104 main, reserve;
  TStationSettings settings;
  TStationExtra extra;
  // What the controller uses now; not stored. Set from the main channel after every load,
  // import and edit (Activate).
  TChannel104 active;
  std::uint16_t activePort = 0;
  void Activate();

  // Where refusals and problems are reported (may be null).
  TMessages* messages = nullptr;

  bool ReadFrom(TMemStream& s, TStreamError* error = nullptr) override;
  // A full copy (for work that must change nothing when it fails).
  std::unique_ptr<TWS_104> DeepCopy() const;
  // Takes every setting, group and object of `o` (built-in objects are recreated).
  void TakeFrom(TWS_104& o);

  // Ticked objects with their path names: the station's own first, then the groups
  // depth-first, each group's objects before its subgroups. `out` is cleared first.
  void ListTicked(std::vector<std::pair<std::string, TPProcItem*>>& out) const;
  void TickAll();
  void UntickAll();  // the built-in objects stay ticked

  // ----- Editing rules of the station editor. Refusals are reported through `messages`.
  // A new group for `parent` (default name not used among its children), not yet appended.
  std::unique_ptr<TGroup> NewGroup(const TConfigItem& parent);
  // Appends a group (with its subtree); null when too deep or too large.
  TGroup* AppendGroup(TConfigItem& parent, std::unique_ptr<TGroup> group);
  // A new object of the group's kind with a default name unused in the group and the address
  // of the group's last object + 1 (0 when empty); null for a group without a kind.
  std::unique_ptr<TPProcItem> NewObject(const TGroup& group);
  TPProcItem* AppendObject(TGroup& group, std::unique_ptr<TPProcItem> obj);
  // Removes a group with its subtree (the station itself is never removed).
  bool RemoveGroup(TGroup* group);
  // Deletes the objects at `rows` of the node; built-in objects stay. Returns how many.
  int RemoveObjects(TConfigItem& node, const std::vector<std::size_t>& rows);
  // Clipboard := copies of the objects at `rows`.
  void CopyObjects(const TConfigItem& node, const std::vector<std::size_t>& rows, TObjectClipboard& clip);
  // Copy, then delete; built-in objects are neither copied nor deleted. Returns how many.
  int CutObjects(TConfigItem& node, const std::vector<std::size_t>& rows, TObjectClipboard& clip);
  // Appends a copy of each clipboard object converted to the node's kind. Nothing for the
  // station, a group without a kind, or when the station would grow past 1 MiB.
  int PasteObjects(TConfigItem& node, const TObjectClipboard& clip);
  static TCloneParams DefaultObjectClone(const TPProcItem& current);
  static TCloneParams DefaultGroupClone();
  // Clones the object at `row` of the group; returns how many were made (0 when refused).
  int CloneObjects(TGroup& group, std::size_t row, const TCloneParams& p);
  // Clones the group's name, alias and record (not its content) beside it.
  int CloneGroup(TGroup& group, const TCloneParams& p);
  // Moves the object at `from` to position `to` (past the end: to the end).
  bool MoveObject(TConfigItem& node, std::size_t from, std::size_t to);
  // Changes a group's kind as the group dialog does (objects converted, send type reset);
  // false when the code is unknown or the station would grow past 1 MiB.
  bool SetGroupKind(TGroup& group, std::int32_t kind);
  // Ticks or unticks the objects at `rows`; built-in objects stay ticked.
  void TickRows(TConfigItem& node, const std::vector<std::size_t>& rows, bool ticked);

  // The list's address column: "%d [%4.4xh]" of the object address and base + address.
  static std::string AddressText(const TPProcItem& obj);

 protected:
  bool WriteRecords(TMemStream& s) const override;
  bool ReadRecords(TMemStream& s) override;
  std::size_t RecordsSize() const override;

 private:
  void MakeBuiltIns();
  bool FitsAfterGrowth(std::size_t added) const;
  void Refuse(const std::string& text) const;
  unsigned groupCounter_ = 0;
  unsigned tagCounter_ = 0;
};

// The text of `iec104 show`: the station's parameters, its groups and every object.
std::string DumpStation(const TWS_104& st);

}  // namespace t32
