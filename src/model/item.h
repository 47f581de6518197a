// Items of the configuration tree. Every node carries one item; an item writes itself into
// the configuration image as one section (its entries, then its children's sections) and reads
// itself back. TBlock: boards, modules and board serial channels, which occupy addresses and
// can carry a port. TPort: communication ports and polled devices, which can be bound to a
// board serial channel. Signal tables descend from TItem directly.
#pragma once
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "model/fields.h"
#include "model/tree.h"

namespace t32 {

class TConfig;
class TDocument;
class TMessages;
class TPort;
class TParams;

// Popup menus of the tree: each item class names the menu shown while it is selected.
enum class TPopup {
  None,           // signal tables
  BlockMenu,      // add boards: the controller
  PortMenu,       // add ports: the processor
  DeleteMenu,     // "Удалить": boards, channels, modules, simple ports
  AddRTUMenu,     // "Добавить устройство", "Удалить": device polling ports
  AddKPMenu,      // "Добавить КП", "Удалить"
  AddPCMenu,      // "Добавить ПЭВМ": the IP port
  AddCC301Menu,   // "Добавить CC301", "Удалить"
  AddCE303Menu,   // "Добавить CE303", "Удалить"
  AddCE318Menu,   // "Добавить CE318", "Удалить"
  AddMdsMrkMenu,  // module entries, "Удалить": the UNIO port
  DubbleDelMenu,  // "Дублировать", "Удалить": devices
};

// Interface kinds a board channel provides and a port accepts.
enum TInterface : std::uint16_t {
  kIfRS232 = 1, kIfRS485 = 2, kIfModem = 4, kIfTS = 16, kIfTU = 32, kIfTI = 64, kIfTR = 128
};

// The six storage lists (one per signal type) that source tables are appended to.
struct TStorageLists;

class TItem {
 public:
  TItem() = default;
  virtual ~TItem();
  TItem(const TItem&) = delete;
  TItem& operator=(const TItem&) = delete;

  // --- fields common to every item ---
  std::uint8_t version = 1;      // layout version, written as key 48
  std::string frameClass;        // editor frame class
  std::int32_t iconIndex = 2;    // node image while bound
  std::uint8_t number = 0;       // board address, port number, device address
  std::uint16_t interfaces = 0;  // provided (blocks) or accepted (ports) interface kinds
  std::uint8_t signalKind = 0;   // 1..6 for signal tables and two-position ports
  std::uint8_t role = 0;
  std::uint8_t channelProtocol = 0;
  TPopup popup = TPopup::None;
  TNode* node = nullptr;
  std::string name;  // type name used in captions and messages
  // The section as it stood in the image when this version could not read it (a layout newer
  // than the class knows, or a class this build does not have). It is written back unchanged,
  // in its place, instead of the item's settings, which are only defaults.
  std::vector<std::uint8_t> keptSection;

  virtual const char* ClassName() const = 0;
  // Section code written by BeginSection; -1 for items that write no section.
  virtual int SectionCode() const = 0;
  // Highest layout version this class can read.
  virtual std::uint8_t KnownVersion() const { return 1; }

  // Called by the tree right after the node was made: links item and node, sets the node's
  // images; classes create their fixed children and refresh the caption here.
  virtual void Create(TNode* n);
  virtual void LoadFromImage(TConfig& c);
  virtual void LoadFromShortImage(TConfig& c);
  virtual void SaveToImage(TConfig& c);
  virtual void Unbind() {}
  virtual void ShowBound() {}
  virtual void UpdateNode();
  virtual void ApplyDeviceType() {}
  virtual std::string SignalAddressText(int /*row*/, int /*kind*/) const { return {}; }
  // The address texts of rows 0..count-1 at once; ports whose addresses depend on the rows
  // before (a walk over value widths) override it to stay linear.
  virtual std::vector<std::string> SignalAddressTexts(int kind, int count) const;
  virtual void AddChildren(int /*menuTag*/) {}
  virtual void DuplicateChild(TItem* /*child*/) {}
  virtual void EnumerateSignals(TStorageLists& /*lists*/) {}
  virtual void ResolveOutputTables() {}
  virtual void RecountChildren() {}
  virtual void SetDefaults() {}

  // The item's plain settings in image order (see fields.h). Special cases stay in the
  // item's own LoadFromImage/SaveToImage.
  virtual void Fields(TFieldVisitor& /*v*/) {}
  // Extra lines for the text dump (signal rows, records) after the fields.
  virtual void DumpExtra(std::string& /*out*/, const std::string& /*indent*/) const {}
  // Faults the controller would trip over that do not stop a save: one line each.
  virtual std::vector<std::string> Problems() const { return {}; }

  // --- helpers ---
  TDocument* Doc() const;
  TMessages& Messages() const;
  std::string Caption() const;
  // Children's items in tree order.
  std::vector<TItem*> ChildItems() const;
  // Shows "Новая версия " + name when the section's key 48 is newer than the class knows.
  // Returns false when the item must keep its defaults.
  bool CheckVersion(const TConfig& c, bool shortRecords = false);
  // NextSection, the code check and the version check; false when nothing may be read.
  bool EnterSection(TConfig& c, int code);
  // Writes the section: head, key 48, Fields(), WriteChildren(), length.
  void WriteSection(TConfig& c);
  // Children's sections in tree order.
  virtual void WriteChildren(TConfig& c);
  // How parents and the document write an item: its kept section, or SaveToImage.
  void SaveSection(TConfig& c);
  // The item or a board, port or device whose section holds it was kept as it stood: what the
  // item shows are defaults the controller will not get, so they are not offered for editing.
  bool ReadOnly() const;
  // Lets a child read the next section (its LoadFromImage enters it with NextSection) and
  // then puts Pos behind that whole section, whatever the child read of it.
  static void LoadChild(TConfig& c, TItem* child);

 protected:
  // Writes keptSection (the processor brings its board and port counts up to date first).
  virtual void WriteKept(TConfig& c);
};

// Interface list entry offered to a port's editor.
struct TInterfaceEntry {
  std::string text;
  class TBlock* block = nullptr;
};

class TBlock : public TItem {
 public:
  ~TBlock() override;
  std::bitset<256> addressSet;
  std::uint8_t irq = 0;
  TPort* boundPort = nullptr;

  void Unbind() override;
  void ShowBound() override;
  void UpdateNode() override;
  // Offers this channel to a port when it is free (or bound to that port) and the kinds meet.
  virtual void ListInterfaces(TPort* port, std::uint16_t kinds, std::vector<TInterfaceEntry>& list);
  // Text of this channel in a port's interface list.
  virtual std::string InterfaceText() const;
  virtual bool Bind(TPort* port);
  virtual void SetAddress(int address);
  virtual void AfterLoad() {}
  // Recomputes the icon of the board that holds this channel.
  void UpdateParentIcon();
};

class TPort : public TItem {
 public:
  ~TPort() override;
  TBlock* boundChannel = nullptr;

  void Unbind() override;
  void ShowBound() override;
  void UpdateNode() override;
  virtual void AfterLoad();
  virtual void AfterShortLoad() { AfterLoad(); }
  virtual void UpdateStatusTable() {}

  // The channels the port's editor lists: an empty entry ("not bound") first.
  std::vector<TInterfaceEntry> Interfaces();
  // The user picked entry `index` of Interfaces() (0 = not bound).
  void SelectInterface(const std::vector<TInterfaceEntry>& list, int index);
  // While reading: key 30 names the channel by its address. Only a channel whose kinds the
  // port accepts takes it; the node then shows the port's icon.
  void BindByAddress(int address);
  // Writes key 30 when bound to a board channel (ports that carry it call this in their write
  // order). Ports bound to the processor write nothing: its number is not a channel address.
  void PutBinding(TConfig& c) const;
  // Bound to the processor (IP port, time and logic ports): needs no board channel.
  bool BoundToProcessor() const;
  // Called after the user bound or unbound the port through its channel list.
  virtual void BindingChanged() {}
};

}  // namespace t32
