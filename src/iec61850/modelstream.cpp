// Saving and loading the MMS client's state through the memory stream. Every number is
// little-endian at its declared width; fixed fields are padded with zero octets so that the
// controller can read records of a known size.
#include "iec61850/modelstream.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace t32 {

namespace {

constexpr std::int32_t kNodeVersion = 2;
constexpr int kMaxLoadDepth = 64;
constexpr std::size_t kMinNodeV2 = 4 + 4 + 1 + 4 + 4;
constexpr std::size_t kMinNodeV1 = 4 + 1 + 1 + 4 + 4;
constexpr std::size_t kReportBody = 146;
constexpr std::size_t kGooseBody = 213;

bool PutU8(TMemStream& s, std::uint8_t v) { return s.Put(v); }
bool PutU16(TMemStream& s, std::uint16_t v) { return s.Put(v); }
bool PutI32(TMemStream& s, std::int32_t v) { return s.Put(v); }
bool PutU32(TMemStream& s, std::uint32_t v) { return s.Put(v); }
bool PutZeros(TMemStream& s, std::size_t n) {
  static const std::uint8_t z[64] = {};
  return s.MemPut(z, n);
}
// A short string in a fixed field of capacity + 1 octets.
bool PutFixedString(TMemStream& s, std::string_view text, std::size_t capacity) {
  if (text.size() > capacity) text = text.substr(0, capacity);
  return s.PutShortString(text) && PutZeros(s, capacity - text.size());
}
bool GetFixedString(TMemStream& s, std::string& out, std::size_t capacity) {
  std::size_t start = static_cast<std::size_t>(s.MemPos());
  if (!s.GetShortString(out, capacity)) return false;
  std::size_t used = static_cast<std::size_t>(s.MemPos()) - start;
  std::uint8_t skip[256];
  return s.MemGet(skip, capacity + 1 - used);
}

std::uint32_t IpToU32(const std::uint8_t ip[4]) {
  return (std::uint32_t(ip[0]) << 24) | (std::uint32_t(ip[1]) << 16) | (std::uint32_t(ip[2]) << 8) | ip[3];
}
void U32ToIp(std::uint32_t v, std::uint8_t ip[4]) {
  for (int i = 0; i < 4; ++i) ip[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

bool PutAddress(TMemStream& s, const TServerAddress& a) {
  return PutU32(s, a.Reserved) && PutU32(s, IpToU32(a.Ip)) && PutI32(s, a.Port) && PutI32(s, a.ResponseTimeout) &&
         PutI32(s, a.ReconnectInterval);
}
bool GetAddress(TMemStream& s, TServerAddress& a) {
  std::uint32_t ip = 0;
  TServerAddress t;
  if (!s.Get(t.Reserved) || !s.Get(ip) || !s.Get(t.Port) || !s.Get(t.ResponseTimeout) || !s.Get(t.ReconnectInterval))
    return false;
  U32ToIp(ip, t.Ip);
  a = t;
  return true;
}

bool PutOid(TMemStream& s, const TOidArcs& o) {
  if (!PutI32(s, o.count)) return false;
  for (std::int32_t a : o.arcs)
    if (!PutI32(s, a)) return false;
  return true;
}
bool GetOid(TMemStream& s, TOidArcs& o) {
  TOidArcs t;
  if (!s.Get(t.count)) return false;
  for (std::int32_t& a : t.arcs)
    if (!s.Get(a)) return false;
  if (t.count < 0 || t.count > 7) return false;
  o = t;
  return true;
}

bool KeptWithoutNeed(std::string_view fc) {
  return fc.empty() || fc == "RP" || fc == "BR" || fc == "CO" || fc == "SP" || fc == "CF";
}

struct TSaver {
  TMemStream& s;
  const TStrDictionary& dict;
  TStrDictionary& names;
  bool prune;
  bool inlineNames;
  const std::unordered_set<const TMMSvar*>& needed;

  bool Saved(const TMMSvar& n) const {
    return !prune || needed.count(&n) || KeptWithoutNeed(n.FunctionalConstraint());
  }
  bool Node(const TMMSvar& n) {
    std::uint32_t count = 0;
    for (const auto& c : n.Children)
      if (Saved(*c)) ++count;
    if (inlineNames) {
      // Node version 1 holds at most 64 characters of name.
      const std::string& name = dict[n.Name];
      if (name.size() > 64 || !PutI32(s, 1) || !s.PutShortString(name)) return false;
    } else if (!PutI32(s, kNodeVersion) || !PutU32(s, names.Add(dict[n.Name]))) {
      return false;
    }
    if (!PutU8(s, n.Domain ? 1 : 0) || !PutU32(s, n.Type) || !PutU32(s, count)) return false;
    for (const auto& c : n.Children)
      if (Saved(*c) && !Node(*c)) return false;
    return true;
  }
};

void MarkNeeded(const TMMSvar* n, std::unordered_set<const TMMSvar*>& needed) {
  for (const TMMSvar* p = n; p; p = p->Parent) needed.insert(p);
  std::vector<const TMMSvar*> stack{n};
  while (!stack.empty()) {
    const TMMSvar* v = stack.back();
    stack.pop_back();
    needed.insert(v);
    for (const auto& c : v->Children) stack.push_back(c.get());
  }
}

}  // namespace

// The functional constraint a node gets from its place: its own two-letter name directly
// under a logical node, inherited below that.
void AssignFC(TMMSvar& n, const TStrDictionary& dict) {
  TMMSvar* p = n.Parent;
  n.FC[0] = n.FC[1] = 0;
  if (p && p->Parent && p->Parent->Domain) {
    const std::string& s = dict[n.Name];
    if (s.size() == 2) {
      n.FC[0] = s[0];
      n.FC[1] = s[1];
    }
  } else if (p && !p->Domain) {
    n.FC[0] = p->FC[0];
    n.FC[1] = p->FC[1];
  }
}


bool DictionaryMemWrite(TMemStream& s, const TStrDictionary& dict) {
  if (!PutU32(s, 1) || !PutU32(s, static_cast<std::uint32_t>(dict.Count()))) return false;
  for (std::size_t i = 0; i < dict.Count(); ++i) {
    const std::string& name = dict[static_cast<std::uint32_t>(i)];
    if (name.size() > 255 || !s.PutShortString(name)) return false;
  }
  return true;
}

bool DictionaryMemRead(TMemStream& s, TStrDictionary& dict) {
  std::uint32_t version = 0, count = 0;
  if (!s.Get(version) || version != 1 || !s.Get(count) || count > s.Left()) return false;
  std::string name;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!s.GetShortString(name, 255)) return false;
    // A repeated name would shift every index after it.
    if (dict.Add(name) != dict.Count() - 1) return false;
  }
  return true;
}

bool TMMSobject::SaveState(TMemStream& s, TStrDictionary& names) {
  // Transport, session, presentation, ACSE and initiate blocks.
  bool ok = PutI32(s, kStateVersion) && PutAddress(s, Main) && PutAddress(s, Reserve) && PutU16(s, CallingTSAP) &&
            PutU16(s, CalledTSAP) && PutU16(s, static_cast<std::uint16_t>(RequestedTPDUSize)) && PutZeros(s, 4) &&
            PutU16(s, CallingSSEL) && PutU16(s, CalledSSEL) && PutZeros(s, 4) && PutU32(s, CallingPSEL) &&
            PutU32(s, CalledPSEL) && PutZeros(s, 4) && PutOid(s, Acse.CalledAPTitle) &&
            PutI32(s, Acse.CalledAEQualifier) && PutI32(s, Acse.CalledAPInvocation) &&
            PutI32(s, Acse.CalledAEInvocation) && PutOid(s, Acse.CallingAPTitle) &&
            PutI32(s, Acse.CallingAEQualifier) && PutI32(s, Acse.CallingAPInvocation) &&
            PutI32(s, Acse.CallingAEInvocation) && PutU8(s, 0) && PutOid(s, TOidArcs{}) && PutFixedString(s, "", 32) &&
            PutI32(s, ResponseTimeout) && PutI32(s, LocalDetailCalling) && PutI32(s, MaxServOutstandingCalling) &&
            s.Put(MaxServOutstandingCalled) && s.Put(NestingLevel) && s.Put(TimeShiftHours) && PutZeros(s, 2);
  if (!ok) return false;

  // What must survive pruning: data set members, report and GOOSE control blocks. The marks
  // are made afresh for every save.
  std::unordered_set<const TMMSvar*> needed;
  if (Pruning) {
    for (const auto& ds : dataSets_)
      for (const TMMSvar* m : ds->Members) MarkNeeded(m, needed);
    if (rcbs_.empty()) {
      CollectControlBlocks("RP", rcbs_);
      CollectControlBlocks("BR", rcbs_);
    }
    if (gocbs_.empty()) CollectControlBlocks("GO", gocbs_);
    for (const TMMSvar* b : rcbs_) MarkNeeded(b, needed);
    for (const TMMSvar* b : gocbs_) MarkNeeded(b, needed);
    for (const auto& r : reports_.Items)
      if (r->Block) MarkNeeded(r->Block, needed);
    for (const auto& g : gcbs_.Items)
      if (g->Block) MarkNeeded(g->Block, needed);
  }
  TSaver saver{s, dict_, names, Pruning, InlineNames, needed};
  if (!saver.Node(*root_)) return false;

  if (!PutU32(s, static_cast<std::uint32_t>(dataSets_.size()))) return false;
  for (const auto& ds : dataSets_) {
    std::vector<std::pair<std::string, std::string>> members;
    for (const TMMSvar* m : ds->Members) {
      const TMMSvar* dom = m->DomainNode();
      std::string item = m->FullName(dict_);
      if (!dom || item.size() > 255 || dict_[dom->Name].size() > 255) continue;
      members.emplace_back(dict_[dom->Name], std::move(item));
    }
    if (!PutI32(s, 2) || !s.PutShortString(std::string_view(ds->Name).substr(0, 64)) ||
        !s.PutShortString(std::string_view(ds->Domain).substr(0, 64)) || !PutU8(s, ds->MustExist ? 1 : 0) ||
        !PutI32(s, ds->ReadInterval) || !PutU32(s, static_cast<std::uint32_t>(members.size())))
      return false;
    for (const auto& [dom, item] : members)
      if (!s.PutShortString(dom) || !s.PutShortString(item)) return false;
  }

  if (!PutU32(s, static_cast<std::uint32_t>(reports_.Items.size()))) return false;
  for (const auto& r : reports_.Items)
    if (!PutI32(s, 1) || !PutFixedString(s, r->RptID, 64) || !PutFixedString(s, r->DatSet, 64) ||
        !PutU8(s, r->Buffered ? 1 : 0) || !PutU16(s, r->Spare) || !PutU8(s, r->TrgOps) || !PutI32(s, r->IntgPd) ||
        !PutI32(s, r->BufTm) || !PutU8(s, r->Enabled ? 1 : 0) || !PutZeros(s, 3))
      return false;

  if (!PutU32(s, static_cast<std::uint32_t>(gcbs_.Items.size()))) return false;
  for (const auto& g : gcbs_.Items)
    if (!PutI32(s, 1) || !PutFixedString(s, g->Name, 64) || !PutFixedString(s, g->GoID, 64) ||
        !PutFixedString(s, g->DatSet, 64) || !s.MemPut(g->Mac.data(), 6) || !PutI32(s, g->Priority) ||
        !PutI32(s, g->VID) || !PutI32(s, g->APPID))
      return false;
  return true;
}

bool TMMSobject::LoadNode(TMemStream& s, const TStrDictionary& names, TMMSvar& into, int depth, bool isRoot) {
  if (depth > kMaxLoadDepth) return false;
  std::int32_t version = 0;
  std::uint32_t type = 0, count = 0;
  std::uint8_t domain = 0;
  if (!s.Get(version)) return false;
  std::string name;
  if (version == 2) {
    std::uint32_t idx = 0;
    if (!s.Get(idx) || idx >= names.Count()) return false;
    name = names[idx];
  } else if (version == 1) {
    if (!s.GetShortString(name, 64)) return false;
  } else {
    return false;
  }
  if (!s.Get(domain) || !s.Get(type) || type > kMmsUtcTime || !s.Get(count)) return false;
  into.Name = dict_.Add(name);
  into.Domain = domain != 0;
  into.Type = static_cast<std::uint8_t>(type);
  if (!isRoot) AssignFC(into, dict_);
  // Every child takes a header of its own: a count the bytes left cannot hold is a lie.
  std::size_t minimum = version == 2 ? kMinNodeV2 : kMinNodeV1;
  if (count > s.Left() / std::min(kMinNodeV1, minimum)) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (nodeCount_ >= kMaxModelNodes) return false;
    into.Children.push_back(std::make_unique<TMMSvar>(0, &into));
    ++nodeCount_;
    if (!LoadNode(s, names, *into.Children.back(), depth + 1, false)) return false;
  }
  return true;
}

bool TMMSobject::LoadState(TMemStream& s, const TStrDictionary& names) {
  std::int32_t version = 0;
  if (!s.Get(version) || version < 1 || version > kStateVersion) return false;
  TServerAddress main, reserve;
  if (!GetAddress(s, main)) return false;
  if (version > 2 && !GetAddress(s, reserve)) return false;
  std::uint16_t tsap[3], ssel[2];
  std::uint32_t psel[2];
  std::uint8_t unused[4];
  if (!s.Get(tsap) || !s.MemGet(unused, 4) || !s.Get(ssel) || !s.MemGet(unused, 4) || !s.Get(psel) ||
      !s.MemGet(unused, 4))
    return false;
  TAcseParams acse;
  TOidArcs mechanism;
  std::uint8_t auth = 0;
  std::string password;
  if (!GetOid(s, acse.CalledAPTitle) || !s.Get(acse.CalledAEQualifier) || !s.Get(acse.CalledAPInvocation) ||
      !s.Get(acse.CalledAEInvocation) || !GetOid(s, acse.CallingAPTitle) || !s.Get(acse.CallingAEQualifier) ||
      !s.Get(acse.CallingAPInvocation) || !s.Get(acse.CallingAEInvocation) || !s.Get(auth) || !GetOid(s, mechanism) ||
      !GetFixedString(s, password, 32))
    return false;
  std::int32_t respTimeout, localDetail, maxCalling;
  std::int16_t maxCalled, nesting, shift;
  if (!s.Get(respTimeout) || !s.Get(localDetail) || !s.Get(maxCalling) || !s.Get(maxCalled) || !s.Get(nesting) ||
      !s.Get(shift) || !s.MemGet(unused, 2))
    return false;

  // The settings are whole: take them.
  Main = main;
  Reserve = reserve;
  active_ = 0;
  ApplyAddress();
  CallingTSAP = tsap[0];
  CalledTSAP = tsap[1];
  RequestedTPDUSize = tsap[2];
  CallingSSEL = ssel[0];
  CalledSSEL = ssel[1];
  CallingPSEL = psel[0];
  CalledPSEL = psel[1];
  Acse = acse;
  ResponseTimeout = respTimeout;
  LocalDetailCalling = localDetail;
  MaxServOutstandingCalling = maxCalling;
  MaxServOutstandingCalled = maxCalled;
  NestingLevel = nesting == 0 ? 8 : nesting;
  TimeShiftHours = shift > 7 ? 0 : shift;

  // The model is replaced; what was read before a fault stays.
  FreeOutstanding();
  writeOutstanding_ = false;
  writeList_.clear();
  DropModelRefs();
  rcbs_.clear();
  gocbs_.clear();
  dataSets_.clear();
  reports_.Clear();
  gcbs_.Clear();
  domains_.clear();
  browsing_ = false;
  stage_ = 0;
  root_ = std::make_unique<TMMSvar>(dict_.Add("VMD"), nullptr);
  nodeCount_ = 1;
  loaded_ = true;
  if (!LoadNode(s, names, *root_, 0, true)) return false;

  std::uint32_t count = 0;
  if (!s.Get(count) || count > s.Left() / 15) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    auto ds = std::make_unique<TDataSet>();
    std::int32_t v = 0;
    std::uint8_t must = 0;
    std::uint32_t members = 0;
    if (!s.Get(v) || (v != 1 && v != 2) || !s.GetShortString(ds->Name, 64) || !s.GetShortString(ds->Domain, 64) ||
        !s.Get(must) || (v == 2 && !s.Get(ds->ReadInterval)) || !s.Get(members) || members > s.Left() / 2)
      return false;
    ds->MustExist = must != 0;
    std::string dom, item;
    for (std::uint32_t m = 0; m < members; ++m) {
      if (!s.GetShortString(dom, 255) || !s.GetShortString(item, 255)) return false;
      if (TMMSvar* var = ResolveName(dom, item)) {
        if (std::find(ds->Members.begin(), ds->Members.end(), var) != ds->Members.end()) continue;
        ds->Members.push_back(var);
        ds->MemberNames.push_back(dom + "/" + item);
      }
    }
    dataSets_.push_back(std::move(ds));
  }

  if (!s.Get(count) || count > s.Left() / (4 + kReportBody)) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::int32_t v = 0;
    auto r = std::make_unique<TMMSReportParam>();
    std::uint8_t buffered = 0, enabled = 0;
    if (!s.Get(v) || v != 1 || !GetFixedString(s, r->RptID, 64) || !GetFixedString(s, r->DatSet, 64) ||
        !s.Get(buffered) || !s.Get(r->Spare) || !s.Get(r->TrgOps) || !s.Get(r->IntgPd) || !s.Get(r->BufTm) ||
        !s.Get(enabled) || !s.MemGet(unused, 3))
      return false;
    r->Buffered = buffered != 0;
    r->Enabled = enabled != 0;
    r->Client = this;
    reports_.Items.push_back(std::move(r));
  }

  if (version > 1) {
    if (!s.Get(count) || count > s.Left() / (4 + kGooseBody)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::int32_t v = 0;
      auto g = std::make_unique<TGCBObject>();
      if (!s.Get(v) || v != 1 || !GetFixedString(s, g->Name, 64) || !GetFixedString(s, g->GoID, 64) ||
          !GetFixedString(s, g->DatSet, 64) || !s.MemGet(g->Mac.data(), 6) || !s.Get(g->Priority) || !s.Get(g->VID) ||
          !s.Get(g->APPID))
        return false;
      g->DataSet = ResolveDataSet(g->DatSet);
      gcbs_.Items.push_back(std::move(g));
    }
  }
  // Reports of the new model are set up on the association that is running.
  if (reportStep_ == 3 || reportStep_ == 11) SetReportStep(0);
  return true;
}

void TMMSobject::AdoptModel(std::unique_ptr<TMMSvar> root, std::vector<std::unique_ptr<TDataSet>> dataSets,
                            TMMSReportList reports, TGCBList gcbs) {
  FreeOutstanding();
  writeOutstanding_ = false;
  writeList_.clear();
  DropModelRefs();
  rcbs_.clear();
  gocbs_.clear();
  domains_.clear();
  browsing_ = false;
  stage_ = 0;
  root_ = std::move(root);
  nodeCount_ = root_->CountNodes();
  dataSets_ = std::move(dataSets);
  reports_ = std::move(reports);
  for (auto& r : reports_.Items) r->Client = this;
  gcbs_ = std::move(gcbs);
  loaded_ = true;
  if (reportStep_ == 3 || reportStep_ == 11) SetReportStep(0);
}

}  // namespace t32
