#include "ports/polling_port.h"

#include "model/boards.h"
#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"

namespace t32 {

const char* const TPollingPort::kTooManyDevices = "В порту не может быть больше 255 устройств.";

std::string TPolledDevice::LinkStatusName() const {
  std::string s = "связь_" + Caption();
  if (!place.empty()) s += "_" + place;
  return s;
}

TPollingPort* TPolledDevice::Port() const {
  return node && node->Parent() ? dynamic_cast<TPollingPort*>(node->Parent()->Item()) : nullptr;
}

void TPolledDevice::RequestPortRebuild() const {
  if (TPollingPort* p = Port()) p->UpdateStatusTable();
}

// ---------------------------------------------------------------------------------------
std::string TPollingPort::PortName() const { return std::to_string(number) + "_Порт"; }

TParams* TPollingPort::LinkTable() const {
  if (!node || node->ChildCount() == 0) return nullptr;
  auto* t = dynamic_cast<TParams*>(node->Child(0)->Item());
  return t && t->Type() == kSigTS ? t : nullptr;
}

std::vector<TPolledDevice*> TPollingPort::Devices() const {
  std::vector<TPolledDevice*> out;
  if (!node) return out;
  out.reserve(static_cast<std::size_t>(node->ChildCount()));
  for (int i = 0; i < node->ChildCount(); ++i)
    if (auto* d = dynamic_cast<TPolledDevice*>(node->Child(i)->Item())) out.push_back(d);
  return out;
}

int TPollingPort::DeviceCountNow() const { return static_cast<int>(Devices().size()); }

bool TPollingPort::CanAddDevice() const {
  if (DeviceCountNow() < kMaxDevices) return true;
  Messages().ShowError(kTooManyDevices);
  return false;
}

bool TPollingPort::Exists(const TItem* except, const std::function<bool(const TPolledDevice&)>& same) const {
  for (TPolledDevice* d : Devices())
    if (d != except && same(*d)) return true;
  return false;
}

void TPollingPort::RenameDevices() {
  const std::string pn = PortName();
  for (TPolledDevice* d : Devices())
    if (d->portName != pn) {
      d->portName = pn;
      d->UpdateStatusTable();
    }
}

void TPollingPort::RecountChildren() {
  TRebuildSuspension hold(this);  // one link-table rebuild at the end
  RenameDevices();
  SyncDeviceCount();
}

void TPollingPort::CountFields(TFieldVisitor& v, bool withChannel) {
  SyncDeviceCount();
  v.U8({"deviceCount", 20}, deviceCount);
  if (!withChannel) return;
  std::uint8_t channel = boundChannel && !BoundToProcessor() ? boundChannel->number : 0;
  v.U8({"channelAddress", 30}, channel);
}

void TPollingPort::PutDeviceCount(TConfig& c) {
  SyncDeviceCount();
  c.PutU8(20, deviceCount);
}

void TPollingPort::ResumeRebuild() {
  if (suspended_ > 0 && --suspended_ == 0) UpdateStatusTable();
}

void TPollingPort::SetPortNumber(int n) {
  if (n < 1 || n > 255) return;
  number = static_cast<std::uint8_t>(n);
  UpdateNode();
  TRebuildSuspension hold(this);
  RenameDevices();
}

void TPollingPort::RefreshLinkTable() {
  if (!node) return;
  std::vector<TPolledDevice*> devs = Devices();
  TParams* t = LinkTable();
  TTree* tree = node->Tree();
  if (devs.empty()) {
    if (t) tree->Delete(t->node);
    return;
  }
  if (!t) {
    auto p = MakeParams(kSigTS, kRoleSource);
    p->owner = this;
    t = p.get();
    TNode* n = tree->Add(node, std::move(p), 0);
    n->expanded = true;
  }
  std::vector<std::string> names;
  names.reserve(devs.size());
  for (TPolledDevice* d : devs) names.push_back(d->LinkStatusName());
  t->BuildFromList(names, 0, PortName());
}

void TPollingPort::UpdateStatusTable() {
  if (RebuildSuspended()) return;
  RefreshLinkTable();
  SyncDeviceCount();
  if (TDocument* d = Doc()) d->Storage().Rebuild();
}

void TPollingPort::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = LinkTable()) lists.Append(t);
  for (TPolledDevice* d : Devices()) d->EnumerateSignals(lists);
}

void TPollingPort::AfterLoad() {
  for (TPolledDevice* d : Devices()) d->AfterLoad();
}

void TPollingPort::WriteChildren(TConfig& c) {
  if (TParams* t = LinkTable()) t->SaveToImage(c);
  int n = 0;
  for (TPolledDevice* d : Devices())
    if (n++ < kMaxDevices) d->SaveSection(c);  // a device kept as it stood goes back unchanged
}

TPolledDevice* TPollingPort::AppendDevice(std::unique_ptr<TPolledDevice> dev) {
  if (!node || DeviceCountNow() >= kMaxDevices) return nullptr;
  dev->portName = PortName();
  TPolledDevice* d = dev.get();
  node->Tree()->Add(node, std::move(dev));
  return d;
}

void TPollingPort::LoadChildren(TConfig& c, int announced, int deviceCode,
                                const std::function<std::unique_ptr<TPolledDevice>()>& make, bool shortRecords) {
  TRebuildSuspension hold(this);
  if (shortRecords) {
    // Older images: the devices are the sections that follow the port's entries. The
    // caller's mark (the port's head) is kept for its own skip.
    const std::int32_t callerMark = c.Mark;
    const std::int32_t resume = c.Pos;
    c.SkipShortSection();
    const std::int32_t callerEnd = c.Pos;
    c.Pos = resume;
    std::int32_t lastHead = -1;
    for (int i = 0; i < announced && c.Pos < c.End(); ++i) {
      const std::int32_t save = c.Pos;
      if (c.NextShortSection() != deviceCode) {
        c.Pos = save;
        break;
      }
      const std::int32_t head = c.Pos - 4;
      TPolledDevice* d = AppendDevice(make());
      if (!d) break;
      c.Pos = head;
      d->LoadFromShortImage(c);
      c.Mark = head;
      c.SkipShortSection();
      lastHead = head;
    }
    // Device sections that follow the port's own section (rather than stand inside it) are
    // passed over by the caller's skip too, so they are not read again as ports.
    c.Mark = lastHead >= callerEnd ? lastHead : callerMark;
    return;
  }
  TChildReader rd(c);
  if (announced > 0 && rd.Peek() == 211) {
    // The table comes first so that its rows keep their settings when the devices' names
    // are laid over them at the end.
    auto p = MakeParams(kSigTS, kRoleSource);
    p->owner = this;
    TParams* t = p.get();
    TNode* n = node->Tree()->Add(node, std::move(p), 0);
    n->expanded = true;
    t->Build(announced, PortName());  // one row per announced device, named by the image
    rd.Load(t);
  } else if (rd.Peek() == 211) {
    rd.Skip();
  }
  for (int i = 0; i < announced; ++i) {
    if (rd.Peek() != deviceCode) break;
    TPolledDevice* d = AppendDevice(make());
    if (!d) break;
    rd.Load(d);
  }
  // Each row's default name comes from its device, so that the rebuild at the end keeps the
  // rows (and the names the user gave them).
  if (TParams* t = LinkTable()) {
    std::vector<TPolledDevice*> devs = Devices();
    const std::string pn = PortName();
    for (int i = 0; i < t->Count() && i < static_cast<int>(devs.size()); ++i)
      if (TParam* r = t->At(i)) {
        r->SetDefaultName(pn + "." + devs[static_cast<std::size_t>(i)]->LinkStatusName());
        r->prefix = pn;
      }
  }
  node->expanded = true;
}

}  // namespace t32
