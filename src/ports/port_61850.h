// The IEC 61850 polling port: the controller as an MMS client of IEC 61850 servers. Each
// server is a device under the port that keeps a snapshot of the 61850 client's state (its
// device model: server model, data sets, reports, GOOSE blocks); the data picked from that
// model become the device's ТС, ТУ, ТИ and ТР signals. In the image every device's model is
// pruned to what the controller polls, and the names of all models share one dictionary that
// every 61850 port writes.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "iec61850/mmsclient.h"
#include "ports/polling_port.h"

namespace t32 {

class TParams;
class TPort61850;

// The picked data of a device by signal kind, full names as the model gives them.
struct T61850Lists {
  std::vector<std::string> ts, ti, tr, tu;
  bool Empty() const { return ts.empty() && ti.empty() && tr.empty() && tu.empty(); }
  std::vector<std::string>& Of(int kind);
  const std::vector<std::string>& Of(int kind) const;
};

// The four data sets the controller reads for its signals, and how a picked node's kind
// (kSigTS.. or 0) is told from its functional constraint.
extern const char* const kDSetTS;
extern const char* const kDSetTI;
extern const char* const kDSetTR;
extern const char* const kDSetTU;
int KindOfFC(const TMMSvar& node, const TStrDictionary& dict);

// The lists a loaded model gives: members of enabled reports' data sets, then of every other
// data set that is read periodically, filed by their functional constraint.
T61850Lists NameListsOf(TMMSobject& client);
// Makes the four special data sets hold exactly the picked nodes (signal nodes or elements),
// drops the ones left empty, and gives "DSetTS"/"DSetTI" an enabled report when they have none.
void ApplyPicked(TMMSobject& client, const std::vector<TMMSvar*>& picked);
// The nodes of the model a browser selection takes: every node ticked below a logical device
// that is a signal node or an element.
std::vector<TMMSvar*> SelectedNodes(TMMSobject& client);
// Ticks the members of the four special data sets (the picks as they were last made).
void MarkSpecialMembers(TMMSobject& client);

// Saves the client's state into bytes; names go into `names`. False when it needs more than
// `limit` bytes or the state cannot be written.
bool SaveClientState(TMMSobject& client, TStrDictionary& names, std::vector<std::uint8_t>& out, std::size_t limit);

class TRTU61850 : public TPolledDevice {
 public:
  static constexpr std::uint32_t kDefaultIp = 0xC0A80100;  // 192.168.1.0
  // The controller takes a device model of at most this size.
  static constexpr std::size_t kMaxImageModel = std::size_t(1) << 20;
  // A model kept in memory (unpruned) may be larger, up to the image's own bound.
  static constexpr std::size_t kMaxModel = 104857600;

  TRTU61850();
  ~TRTU61850() override;
  const char* ClassName() const override { return "TRTU61850"; }
  int SectionCode() const override { return 220; }
  void Create(TNode* n) override;
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& /*c*/) override {}
  void EnumerateSignals(TStorageLists& lists) override;
  void AfterLoad() override;
  void UpdateStatusTable() override;
  void WriteChildren(TConfig& /*c*/) override {}  // tables are written by kind
  void ApplyDeviceType() override;
  void DumpExtra(std::string& out, const std::string& indent) const override;

  std::uint32_t ip = kDefaultIp;  // first octet in the highest byte
  std::uint8_t receiveGoose = 0;
  T61850Lists lists;
  // Set while a device-type file is written or read: the section holds no place, address or
  // tables, and the model carries its names itself.
  bool templateForm = false;

  void SetIp(std::uint32_t v);
  // The table of a kind (kSigTS, kSigTU, kSigTI, kSigTR), or none.
  TParams* Table(int kind) const;
  // "%s.%d_%s": port name, number, place (or the type name without a place).
  std::string SignalPrefix() const;
  TPort61850* Port61850() const;

  // --- the device model ---------------------------------------------------------------------
  bool HasModel() const { return !model_.empty(); }
  std::size_t ModelSize() const { return model_.size(); }
  // Loads the stored model into the client. False when it is damaged: the client then holds
  // what was read before the fault. An empty model leaves the client as it is.
  bool LoadModel(TMMSobject& client) const;
  // Keeps the client's whole model (unpruned) as the device's model. False (nothing changes)
  // when it cannot be written.
  bool StoreModel(TMMSobject& client);
  // Name lists from the client's model (also the icon).
  void TakeNameLists(TMMSobject& client);
  // The same through a temporary client loaded from the stored model.
  void RebuildNameLists();
  // The picked nodes become the special data sets, the model is kept and the signals rebuilt.
  void PickData(TMMSobject& client, const std::vector<TMMSvar*>& picked);
  // Every report's integrity period, in the stored model.
  bool SetIntegrityPeriod(std::int32_t ms);
  // The model as the image gets it: pruned, names into `names` (or written inline). False
  // (with *error) when it cannot be written or is larger than the controller takes.
  bool PrunedModel(TStrDictionary& names, bool inlineNames, std::vector<std::uint8_t>& out, std::string* error) const;
  // Copies what a device type carries: type name, name lists and model.
  void CopyTypeFrom(const TRTU61850& src);
  // The model bytes the next SaveToImage writes (the port prepares them for the whole image).
  void SetImageModel(std::vector<std::uint8_t> bytes) {
    imageModel_ = std::move(bytes);
    imageModelReady_ = true;
  }
  const std::vector<std::uint8_t>& RawModel() const { return model_; }

 private:
  void ReadModelBlock(const std::vector<std::uint8_t>& bytes, const TStrDictionary& names);
  std::vector<std::uint8_t> model_;  // SaveState bytes (node names index names_)
  std::unique_ptr<TStrDictionary> names_;
  std::vector<std::uint8_t> imageModel_;
  bool imageModelReady_ = false;
};

// The dictionary block and each device's pruned model for one image: one dictionary for the
// whole document, built from the devices in tree order.
struct TImageModels {
  std::vector<std::uint8_t> dictionary;  // the block every 61850 port writes
  std::map<const TRTU61850*, std::vector<std::uint8_t>> models;
  std::string error;  // set when a device could not be written
};
TImageModels BuildImageModels(const TNode* root);

class TPort61850 : public TPollingPort {
 public:
  TPort61850();
  const char* ClassName() const override { return "TPort61850"; }
  int SectionCode() const override { return 126; }
  void Create(TNode* n) override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& /*c*/) override {}
  void UpdateStatusTable() override;
  void AddChildren(int menuTag) override;
  void DuplicateChild(TItem* child) override;

  std::uint8_t netMask = 1;
  std::int32_t timeOffset = 3;    // hours
  std::uint8_t linkLossTime = 10;  // s

  TRTU61850* AddDevice();
  // Sets every report's integrity period of every device (after the question); false when
  // the user declined or a model could not be written.
  bool SetIntegrityPeriodAll(std::int32_t ms);
  // The dictionary the devices of the image being read resolve their names through.
  const TStrDictionary& ImageDictionary() const { return imageDict_; }

 private:
  TStrDictionary imageDict_;
};

}  // namespace t32
