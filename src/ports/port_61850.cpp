#include "ports/port_61850.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "iec61850/modelstream.h"
#include "iec61850/pickmarks.h"
#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/fields.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"

namespace t32 {

const char* const kDSetTS = "DSetTS";
const char* const kDSetTI = "DSetTI";
const char* const kDSetTR = "DSetTR";
const char* const kDSetTU = "DSetTU";

namespace {
// Tables stand under a device in this order and are written in it.
constexpr int kTableOrder[4] = {kSigTS, kSigTU, kSigTI, kSigTR};

int TableRank(int kind) {
  for (int i = 0; i < 4; ++i)
    if (kTableOrder[i] == kind) return i;
  return 4;
}

int KindOfSection(int code) {
  switch (code) {
    case 211: return kSigTS;
    case 212: return kSigTU;
    case 213: return kSigTI;
    case 215: return kSigTR;
    default: return 0;
  }
}

bool ContainsNoCase(std::string_view text, std::string_view what) {
  auto it = std::search(text.begin(), text.end(), what.begin(), what.end(), [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  });
  return it != text.end();
}

// Every signal node of a data set member: the member itself when it is one (or a leaf),
// else those below it.
void CollectSignalNodes(TMMSvar* n, const TStrDictionary& dict, std::vector<TMMSvar*>& out, int depth = 0) {
  if (depth > 64) return;
  if (n->Children.empty() || IsSignalNode(*n, dict)) {
    out.push_back(n);
    return;
  }
  for (auto& c : n->Children) CollectSignalNodes(c.get(), dict, out, depth + 1);
}

TDataSet* FindSet(TMMSobject& client, std::string_view name) {
  for (auto& d : client.DataSets())
    if (d->Name == name) return d.get();
  return nullptr;
}

bool HasReport(TMMSobject& client, const TDataSet* ds) {
  for (const auto& r : client.Reports().Items)
    if (client.ResolveDataSet(r->DatSet) == ds) return true;
  return false;
}

void RemoveSet(TMMSobject& client, TDataSet* ds, bool withReports) {
  if (withReports) {
    auto& items = client.Reports().Items;
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&](const std::unique_ptr<TMMSReportParam>& r) {
                                 return client.ResolveDataSet(r->DatSet) == ds;
                               }),
                items.end());
  }
  for (auto& r : client.Reports().Items)
    if (r->DataSet == ds) r->DataSet = nullptr;
  for (auto& g : client.GooseBlocks().Items)
    if (g->DataSet == ds) g->DataSet = nullptr;
  auto& sets = client.DataSets();
  sets.erase(std::remove_if(sets.begin(), sets.end(), [&](const std::unique_ptr<TDataSet>& d) { return d.get() == ds; }),
             sets.end());
}

std::string ModelErrorText(const std::string& caption) { return "Ошибка чтения модели устройства " + caption; }

// Renames every name equal to an earlier one, with its position in the list.
void MarkRepeats(std::vector<std::string>& list) {
  std::unordered_set<std::string> seen;
  seen.reserve(list.size() * 2);
  for (std::size_t i = 0; i < list.size(); ++i) {
    std::string& n = list[i];
    std::replace(n.begin(), n.end(), '.', ' ');
    if (seen.count(n)) n += "_повтор" + std::to_string(i);
    seen.insert(n);
  }
}

std::unique_ptr<TStrDictionary> CopyDictionary(const TStrDictionary& d) {
  auto out = std::make_unique<TStrDictionary>();
  for (std::size_t i = 0; i < d.Count(); ++i) out->Add(d[static_cast<std::uint32_t>(i)]);
  return out;
}

const TStrDictionary& EmptyDictionary() {
  static const TStrDictionary empty;
  return empty;
}
}  // namespace

std::vector<std::string>& T61850Lists::Of(int kind) {
  switch (kind) {
    case kSigTS: return ts;
    case kSigTI: return ti;
    case kSigTR: return tr;
    default: return tu;
  }
}
const std::vector<std::string>& T61850Lists::Of(int kind) const { return const_cast<T61850Lists*>(this)->Of(kind); }

int KindOfFC(const TMMSvar& node, const TStrDictionary& dict) {
  const std::string full = node.FullName(dict);
  if (ContainsNoCase(full, "MMTR")) return kSigTI;
  std::string_view fc;
  std::size_t a = full.find('$');
  if (a != std::string::npos) {
    std::size_t b = full.find('$', a + 1);
    fc = std::string_view(full).substr(a + 1, (b == std::string::npos ? full.size() : b) - a - 1);
  }
  if (fc == "ST") return kSigTS;
  if (fc == "MX") return kSigTI;
  if (fc == "SP") return kSigTR;
  if (fc == "CO") return kSigTU;
  return 0;
}

T61850Lists NameListsOf(TMMSobject& client) {
  T61850Lists L;
  const TStrDictionary& dict = client.Dictionary();
  std::vector<TMMSvar*> nodes;
  auto file = [&](const TDataSet* ds) {
    for (TMMSvar* m : ds->Members) {
      int kind = KindOfFC(*m, dict);
      if (!kind) continue;
      nodes.clear();
      CollectSignalNodes(m, dict, nodes);
      for (TMMSvar* n : nodes) L.Of(kind).push_back(n->FullName(dict));
    }
  };
  std::unordered_set<const TDataSet*> reported;
  for (const auto& r : client.Reports().Items) {
    if (!r->Enabled) continue;
    if (TDataSet* ds = client.ResolveDataSet(r->DatSet)) {
      reported.insert(ds);
      file(ds);
    }
  }
  for (const auto& ds : client.DataSets())
    if (!reported.count(ds.get()) && ds->ReadInterval >= 0) file(ds.get());
  return L;
}

std::vector<TMMSvar*> SelectedNodes(TMMSobject& client) {
  std::vector<TMMSvar*> out;
  const TStrDictionary& dict = client.Dictionary();
  for (TMMSvar* n : PickedNodes(client.Root()))
    if (!n->Domain && n->DomainNode() && (IsSignalNode(*n, dict) || IsElementNode(*n, dict))) out.push_back(n);
  return out;
}

void MarkSpecialMembers(TMMSobject& client) {
  ClearPickMarks(client.Root());
  for (const char* name : {kDSetTS, kDSetTI, kDSetTR, kDSetTU})
    if (TDataSet* ds = FindSet(client, name))
      for (TMMSvar* m : ds->Members) SetPickMark(*m, 1, client.Dictionary());
}

void ApplyPicked(TMMSobject& client, const std::vector<TMMSvar*>& picked) {
  const TStrDictionary& dict = client.Dictionary();
  auto ensure = [&](const char* name, std::int32_t interval) {
    TDataSet* d = FindSet(client, name);
    if (!d) {
      auto n = std::make_unique<TDataSet>();
      n->Name = name;
      n->MustExist = true;
      n->ReadInterval = interval;
      d = n.get();
      client.DataSets().push_back(std::move(n));
    }
    d->Members.clear();
    d->MemberNames.clear();
    return d;
  };
  TDataSet* ts = ensure(kDSetTS, -1);
  TDataSet* ti = ensure(kDSetTI, -1);
  TDataSet* tr = ensure(kDSetTR, 0);
  TDataSet* tu = ensure(kDSetTU, 0);
  for (TMMSvar* n : picked) {
    TDataSet* to = nullptr;
    switch (KindOfFC(*n, dict)) {
      case kSigTS: to = ts; break;
      case kSigTI: to = ti; break;
      case kSigTR: to = tr; break;
      case kSigTU: to = tu; break;
      default: continue;
    }
    if (std::find(to->Members.begin(), to->Members.end(), n) != to->Members.end()) continue;
    const TMMSvar* dom = n->DomainNode();
    to->Members.push_back(n);
    to->MemberNames.push_back((dom ? dict[dom->Name] : std::string()) + "/" + n->FullName(dict));
  }
  for (TDataSet* d : {ts, ti})
    if (d->Members.empty()) RemoveSet(client, d, true);
  for (TDataSet* d : {tr, tu})
    if (d->Members.empty()) RemoveSet(client, d, false);
  for (auto [name, trg] : {std::pair<const char*, std::uint8_t>{kDSetTS, 0x54}, {kDSetTI, 0x0C}}) {
    TDataSet* d = FindSet(client, name);
    if (!d || HasReport(client, d)) continue;
    TMMSReportParam* r = client.Reports().Add();
    r->Client = &client;
    r->DatSet = name;
    r->RptID = std::string("Rep_") + name;
    r->TrgOps = trg;
    r->Enabled = true;
  }
}

bool SaveClientState(TMMSobject& client, TStrDictionary& names, std::vector<std::uint8_t>& out, std::size_t limit) {
  std::size_t size = std::min<std::size_t>(std::size_t(1) << 16, limit);
  for (;;) {
    out.assign(size, 0);
    TMemStream s(out.data(), out.size());
    if (client.SaveState(s, names)) {
      out.resize(static_cast<std::size_t>(s.MemPos()));
      return true;
    }
    // Only a stream that ran out of room is worth a larger buffer.
    if (!s.Failed() || size >= limit) {
      out.clear();
      return false;
    }
    size = std::min(size * 4, limit);
  }
}

// =======================================================================================
TRTU61850::TRTU61850() : names_(std::make_unique<TStrDictionary>()) {
  name = "IED";
  frameClass = "TRTU61850Frame";
  popup = TPopup::DubbleDelMenu;
  iconIndex = 0;
  number = static_cast<std::uint8_t>(ip);
}

TRTU61850::~TRTU61850() = default;

void TRTU61850::Create(TNode* n) {
  TPolledDevice::Create(n);
  n->SetImages(iconIndex);
  UpdateNode();
}

void TRTU61850::UpdateNode() {
  if (node) node->SetCaption(std::to_string(number) + "_" + name);
}

void TRTU61850::Fields(TFieldVisitor& v) {
  v.Text({"type", 41}, name);
  v.U8({"receiveGoose", 106, 0, 1}, receiveGoose);
  v.Text({"place", 77}, place);
  v.Ip({"ip", 49}, ip);
}

void TRTU61850::SetIp(std::uint32_t v) {
  ip = v;
  number = static_cast<std::uint8_t>(ip);
  UpdateNode();
}

TParams* TRTU61850::Table(int kind) const {
  if (!node) return nullptr;
  for (int i = 0; i < node->ChildCount(); ++i)
    if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && t->Type() == kind) return t;
  return nullptr;
}

std::string TRTU61850::SignalPrefix() const {
  return portName + "." + std::to_string(number) + "_" + (place.empty() ? name : place);
}

TPort61850* TRTU61850::Port61850() const { return dynamic_cast<TPort61850*>(Port()); }

bool TRTU61850::LoadModel(TMMSobject& client) const {
  if (model_.empty()) return true;
  TMemStream s(model_.data(), model_.size());
  return client.LoadState(s, *names_);
}

bool TRTU61850::StoreModel(TMMSobject& client) {
  const bool prune = client.Pruning, inl = client.InlineNames;
  client.Pruning = false;
  client.InlineNames = false;
  auto dict = std::make_unique<TStrDictionary>();
  std::vector<std::uint8_t> bytes;
  bool ok = SaveClientState(client, *dict, bytes, kMaxModel);
  client.Pruning = prune;
  client.InlineNames = inl;
  if (!ok) return false;
  model_ = std::move(bytes);
  names_ = std::move(dict);
  return true;
}

void TRTU61850::TakeNameLists(TMMSobject& client) {
  lists = NameListsOf(client);
  iconIndex = lists.Empty() ? 0 : 28;
  if (node) node->SetImages(iconIndex);
}

void TRTU61850::RebuildNameLists() {
  TMMSobject client;
  LoadModel(client);
  TakeNameLists(client);
}

void TRTU61850::PickData(TMMSobject& client, const std::vector<TMMSvar*>& picked) {
  ApplyPicked(client, picked);
  StoreModel(client);
  TakeNameLists(client);
  UpdateStatusTable();
}

bool TRTU61850::SetIntegrityPeriod(std::int32_t ms) {
  if (model_.empty()) return true;
  TMMSobject client;
  LoadModel(client);
  for (auto& r : client.Reports().Items) r->IntgPd = ms;
  return StoreModel(client);
}

bool TRTU61850::PrunedModel(TStrDictionary& names, bool inlineNames, std::vector<std::uint8_t>& out,
                            std::string* error) const {
  out.clear();
  if (model_.empty()) return true;
  TMMSobject client;
  LoadModel(client);  // the stored model was written by this program: what it holds loads
  client.Pruning = true;
  client.InlineNames = inlineNames;
  if (SaveClientState(client, names, out, kMaxImageModel)) return true;
  if (error)
    *error = "Модель устройства " + Caption() + " больше " + std::to_string(kMaxImageModel) +
             " байт или содержит недопустимые имена. Сохранение прервано.";
  return false;
}

void TRTU61850::CopyTypeFrom(const TRTU61850& src) {
  name = src.name;
  lists = src.lists;
  model_ = src.model_;
  names_ = CopyDictionary(*src.names_);
  iconIndex = lists.Empty() ? 0 : 28;
  if (node) node->SetImages(iconIndex);
}

void TRTU61850::ReadModelBlock(const std::vector<std::uint8_t>& bytes, const TStrDictionary& names) {
  if (bytes.empty()) {
    model_.clear();
    names_ = std::make_unique<TStrDictionary>();
    lists = {};
    iconIndex = 0;
    return;
  }
  TMMSobject client;
  TMemStream s(bytes.data(), bytes.size());
  bool ok = client.LoadState(s, names);
  // What was read is kept: the device's own copy of it, with its own names.
  StoreModel(client);
  TakeNameLists(client);
  if (!ok) Messages().ShowError(ModelErrorText(Caption()));
}

void TRTU61850::SaveToImage(TConfig& c) {
  if (!keptSection.empty()) {
    c.PutBytes(keptSection);
    return;
  }
  std::vector<std::uint8_t> bytes;
  if (imageModelReady_) {
    bytes = std::move(imageModel_);
    imageModel_.clear();
    imageModelReady_ = false;
  } else {
    // Written on its own (a device-type file): its names travel inline in template form.
    TStrDictionary names;
    std::string error;
    if (!PrunedModel(names, templateForm, bytes, &error)) c.Refuse(error);
  }
  std::int32_t at = c.Pos;
  c.BeginSection(220);
  c.PutU8(48, version);
  c.PutText(41, name);
  c.PutU32(60, static_cast<std::uint32_t>(bytes.size()));
  c.PutU8(106, receiveGoose);
  c.PutEntry(102, bytes.size(), bytes.data());
  if (!templateForm) {
    c.PutText(77, place);
    c.PutU32(49, ip);
    for (int kind : kTableOrder)
      if (TParams* t = Table(kind)) t->SaveToImage(c);
  }
  c.EndSection(at);
}

void TRTU61850::LoadFromImage(TConfig& c) {
  const std::int32_t at = c.FindSection();
  if (c.NextSection() != 220) return;
  if (!CheckVersion(c)) {
    if (at >= 0) keptSection = c.SectionBytes(at);
    return;
  }
  c.GetText(41, name);
  name = Utf8Left(name, 64);
  std::uint32_t length = 0;
  c.GetU32(60, length);
  c.GetU8(106, receiveGoose);
  const long have = c.EntrySize(102);
  std::vector<std::uint8_t> bytes(have > 0 ? static_cast<std::size_t>(have) : 0);
  if (!bytes.empty()) c.GetEntry(102, bytes.size(), bytes.data());
  const bool cut = length > bytes.size();
  if (length < bytes.size()) bytes.resize(length);
  if (!templateForm) {
    c.GetText(77, place);
    place = Utf8Left(place, 64);
    c.GetU32(49, ip);
    number = static_cast<std::uint8_t>(ip);
  }
  UpdateNode();
  const TPort61850* port = Port61850();
  const TStrDictionary& names = templateForm || !port ? EmptyDictionary() : port->ImageDictionary();
  ReadModelBlock(bytes, names);
  if (cut && !bytes.empty()) Messages().ShowError(ModelErrorText(Caption()));
  if (!templateForm) {
    UpdateStatusTable();
    TChildReader rd(c);
    for (;;) {
      int kind = KindOfSection(rd.Peek());
      if (!kind) break;
      rd.Load(Table(kind));
    }
  }
  newDevice = false;
}

void TRTU61850::UpdateStatusTable() {
  number = static_cast<std::uint8_t>(ip);
  UpdateNode();
  if (!node) return;
  T61850Lists L = lists;
  for (int kind : kTableOrder) MarkRepeats(L.Of(kind));
  TTree* tree = node->Tree();
  for (int kind : kTableOrder)
    if (TParams* t = Table(kind); t && (newDevice || L.Of(kind).empty())) tree->Delete(t->node);
  newDevice = false;
  for (int kind : kTableOrder) {
    if (L.Of(kind).empty() || Table(kind)) continue;
    int at = 0;
    for (int i = 0; i < node->ChildCount(); ++i)
      if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && TableRank(t->Type()) < TableRank(kind)) at = i + 1;
    auto p = MakeParams(kind, kRoleSource);
    p->owner = this;
    TNode* n = tree->Add(node, std::move(p), at);
    n->expanded = true;
  }
  const std::string prefix = SignalPrefix();
  for (int kind : kTableOrder) {
    TParams* t = Table(kind);
    if (!t) continue;
    t->BuildFromList(L.Of(kind), kind == kSigTI || kind == kSigTR ? 2 : 0, prefix);
  }
  if (TParams* ti = Table(kSigTI))
    for (int i = 0; i < ti->Count(); ++i)
      if (TParam* r = ti->At(i)) r->valueWidth = 4;
  iconIndex = L.Empty() ? 0 : 28;
  node->SetImages(iconIndex);
  RequestPortRebuild();
}

void TRTU61850::EnumerateSignals(TStorageLists& out) {
  for (int kind : kTableOrder)
    if (TParams* t = Table(kind)) out.Append(t);
}

void TRTU61850::AfterLoad() {
  if (TParams* tu = Table(kSigTU); tu && tu->referencesPending) tu->ResolveReferences();
}

void TRTU61850::DumpExtra(std::string& out, const std::string& indent) const {
  if (model_.empty()) {
    out += indent + "model: none\n";
  } else {
    TMMSobject client;
    bool ok = LoadModel(client);
    // Sizes are left out: a model read back from an image is the pruned one.
    out += indent + "model: " + (ok ? "loaded" : "damaged") + "\n";
    for (const auto& ds : client.DataSets())
      out += indent + "dataset: " + ds->Name + " members=" + std::to_string(ds->Members.size()) +
             " read=" + std::to_string(ds->ReadInterval) + (ds->MustExist ? " must-exist" : "") + "\n";
    for (const auto& r : client.Reports().Items) {
      char trg[8];
      std::snprintf(trg, sizeof trg, "0x%02X", r->TrgOps);
      out += indent + "report: " + r->RptID + " datset=" + r->DatSet + " trgops=" + trg +
             " intgpd=" + std::to_string(r->IntgPd) + (r->Enabled ? " enabled" : "") + (r->Buffered ? " buffered" : "") +
             "\n";
    }
    for (const auto& g : client.GooseBlocks().Items) out += indent + "goose: " + g->Name + " datset=" + g->DatSet + "\n";
  }
  const char* captions[4] = {"ТС", "ТУ", "ТИ", "ТР"};
  for (int i = 0; i < 4; ++i)
    for (const std::string& n : lists.Of(kTableOrder[i])) out += indent + "list " + captions[i] + ": " + n + "\n";
}

// =======================================================================================
TImageModels BuildImageModels(const TNode* root) {
  TImageModels r;
  TStrDictionary names;
  std::vector<const TRTU61850*> devices;
  std::vector<const TNode*> stack;
  if (root) stack.push_back(root);
  while (!stack.empty()) {
    const TNode* n = stack.back();
    stack.pop_back();
    if (auto* d = dynamic_cast<const TRTU61850*>(n->Item()); d && d->keptSection.empty()) devices.push_back(d);
    for (int i = n->ChildCount(); i-- > 0;) stack.push_back(n->Child(i));
  }
  for (const TRTU61850* d : devices) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!d->PrunedModel(names, false, bytes, &error) && r.error.empty()) r.error = error;
    r.models[d] = std::move(bytes);
  }
  // The block: version, count, then the names (each at most 255 bytes, as SaveState made them).
  std::size_t size = 8;
  for (std::size_t i = 0; i < names.Count(); ++i) size += 1 + names[static_cast<std::uint32_t>(i)].size();
  r.dictionary.assign(size, 0);
  TMemStream s(r.dictionary.data(), r.dictionary.size());
  if (!DictionaryMemWrite(s, names)) {
    if (r.error.empty()) r.error = "Словарь имён моделей МЭК-61850 не может быть записан. Сохранение прервано.";
    r.dictionary.clear();
  }
  return r;
}

// =======================================================================================
TPort61850::TPort61850() {
  name = "61850";
  frameClass = "TPort61850Frame";
  popup = TPopup::AddRTUMenu;
  iconIndex = 0;
  number = 1;
}

void TPort61850::Create(TNode* n) {
  TPollingPort::Create(n);
  if (TDocument* d = Doc(); d && d->ProcNode()) boundChannel = dynamic_cast<TBlock*>(d->ProcNode()->Item());
  n->SetImages(0);
}

void TPort61850::SetDefaults() {
  netMask = 1;
  timeOffset = 3;
  linkLossTime = 10;
}

void TPort61850::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 255}, number);
  v.I32({"timeOffset", 42, 0, 24}, timeOffset);
  v.U8({"linkLossTime", 57, 0, 60}, linkLossTime);
  v.U8({"netMask", 72, 1, 1}, netMask);
  CountFields(v, false);
}

void TPort61850::SaveToImage(TConfig& c) {
  if (!keptSection.empty()) {
    c.PutBytes(keptSection);
    return;
  }
  // Every 61850 port of the image writes the same dictionary of the whole document.
  TImageModels m;
  if (TDocument* d = Doc()) m = BuildImageModels(d->Tree().Root());
  else m = BuildImageModels(node);
  if (!m.error.empty()) c.Refuse(m.error);
  for (TPolledDevice* d : Devices())
    if (auto* dev = dynamic_cast<TRTU61850*>(d)) {
      auto it = m.models.find(dev);
      dev->SetImageModel(it != m.models.end() ? std::move(it->second) : std::vector<std::uint8_t>{});
    }
  std::int32_t at = c.Pos;
  c.BeginSection(126);
  c.PutU8(48, version);
  c.PutU8(1, number);
  c.PutI32(42, timeOffset);
  c.PutU8(57, linkLossTime);
  c.PutU8(72, netMask);
  c.PutU32(60, static_cast<std::uint32_t>(m.dictionary.size()));
  c.PutEntry(102, m.dictionary.size(), m.dictionary.data());
  PutDeviceCount(c);
  WriteChildren(c);
  c.EndSection(at);
}

void TPort61850::LoadFromImage(TConfig& c) {
  const std::int32_t save = c.Pos;
  const int code = c.NextSection();
  c.Pos = save;
  if (code != 124 && code != 126) return;
  if (!EnterSection(c, code)) return;
  c.GetU8(1, number);
  c.GetU8(72, netMask);
  c.GetI32(42, timeOffset);
  c.GetU8(57, linkLossTime);
  std::uint8_t n = 0;
  c.GetU8(20, n);
  std::uint32_t length = 0;
  c.GetU32(60, length);
  imageDict_.Clear();
  const long have = c.EntrySize(102);
  if (have > 0) {
    std::vector<std::uint8_t> block(static_cast<std::size_t>(have));
    c.GetEntry(102, block.size(), block.data());
    if (length < block.size()) block.resize(length);
    TMemStream s(block.data(), block.size());
    // A damaged block leaves the names read before the fault; the devices that need the
    // rest say so.
    DictionaryMemRead(s, imageDict_);
  }
  UpdateNode();
  LoadChildren(c, n, 220, [] { return std::make_unique<TRTU61850>(); });
  imageDict_.Clear();  // the devices keep their own names
}

void TPort61850::UpdateStatusTable() {
  if (RebuildSuspended()) return;
  TPollingPort::UpdateStatusTable();
  if (node) node->SetImages(DeviceCountNow() > 0 ? 2 : 0);
}

TRTU61850* TPort61850::AddDevice() { return AppendNewDevice<TRTU61850>(); }

void TPort61850::AddChildren(int /*menuTag*/) { AddDevice(); }

void TPort61850::DuplicateChild(TItem* child) {
  auto* src = dynamic_cast<TRTU61850*>(child);
  if (!src || !CanAddDevice()) return;
  TRebuildSuspension hold(this);
  auto* d = static_cast<TRTU61850*>(AppendDevice(std::make_unique<TRTU61850>()));
  if (!d) return;
  d->CopyTypeFrom(*src);
  d->UpdateStatusTable();
  TParams* from = src->Table(kSigTI);
  TParams* to = d->Table(kSigTI);
  if (from && to)
    for (int i = 0; i < from->Count() && i < to->Count(); ++i)
      if (TParam *a = from->At(i), *b = to->At(i); a && b) {
        b->gain = a->gain;
        b->offset = a->offset;
        b->group = a->group;
      }
}

bool TPort61850::SetIntegrityPeriodAll(std::int32_t ms) {
  if (Messages().AskConfirm("Установить интервал выдачи отчётов для всех RTU?") != kYes) return false;
  bool ok = true;
  for (TPolledDevice* d : Devices())
    if (auto* dev = dynamic_cast<TRTU61850*>(d); dev && !dev->SetIntegrityPeriod(ms)) ok = false;
  return ok;
}

}  // namespace t32
