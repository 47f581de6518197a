// Report setup on the server, reception of information reports, and the GOOSE control
// blocks of the MMS client.
#include "iec61850/reports.h"

#include <algorithm>
#include <cstring>

#include "iec61850/mmsclient.h"

namespace t32 {

namespace {

constexpr int kWriteSuccess = 255;

enum ReportSteps {
  kStepCheckSets = 0, kStepDefining = 1, kStepReadBlocks = 2, kStepStopped = 3, kStepReading = 4, kStepRead = 5,
  kStepRestart = 6, kStepSetup = 7, kStepEnable = 8, kStepConfirm = 9, kStepDone = 11, kStepRetry = 12
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool Bit(const TMMSDataContainer& c, int i) {
  if (i < 0 || i >= c.bitCount || static_cast<std::size_t>(i / 8) >= c.octets.size()) return false;
  return (static_cast<std::uint8_t>(c.octets[static_cast<std::size_t>(i / 8)]) & (0x80 >> (i % 8))) != 0;
}

}  // namespace

bool IsReservedDataSet(std::string_view name) {
  std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name = name.substr(slash + 1);
  return name == "DSetTU" || name == "DSetTR";
}

TGCBObject* TGCBList::FindByName(std::string_view name) const {
  for (const auto& g : Items)
    if (EqualNoCase(g->Name, name)) return g.get();
  return nullptr;
}

// ---- helpers of the client ----

namespace {
TMMSvar* Child(TMMSvar* block, const TStrDictionary& dict, std::string_view name) {
  if (!block) return nullptr;
  std::int64_t idx = dict.Find(name);
  return idx >= 0 ? block->FindChild(static_cast<std::uint32_t>(idx)) : nullptr;
}
std::string ChildText(TMMSvar* block, const TStrDictionary& dict, std::string_view name) {
  TMMSvar* c = Child(block, dict, name);
  return c && c->Value ? ValueText(*c->Value) : std::string();
}
bool ChildBool(TMMSvar* block, const TStrDictionary& dict, std::string_view name, bool& out) {
  TMMSvar* c = Child(block, dict, name);
  if (!c || !c->Value || c->Value->kind != kMmsBoolean) return false;
  out = c->Value->integer != 0 || c->Value->RawInt() != 0;
  return true;
}
bool ChildInt(TMMSvar* block, const TStrDictionary& dict, std::string_view name, std::int64_t& out) {
  TMMSvar* c = Child(block, dict, name);
  if (!c || !c->Value || (c->Value->kind != kMmsInteger && c->Value->kind != kMmsUnsigned)) return false;
  out = c->Value->integer;
  return true;
}
}  // namespace

std::vector<TMMSvar*> TMMSobject::ControlBlocks(const char* fc) {
  std::vector<TMMSvar*> out;
  CollectControlBlocks(fc, out);
  return out;
}

TDataSet* TMMSobject::ResolveDataSet(std::string_view ref) {
  if (ref.empty()) return nullptr;
  if (TDataSet* d = FindDataSet(ref)) return d;
  // A block names its data set "LD/LLN0$DS"; a configured report may give only "LLN0$DS".
  std::size_t slash = ref.find('/');
  if (slash != std::string_view::npos) return FindDataSet(ref.substr(slash + 1));
  return nullptr;
}

void TMMSobject::SetReportStep(int s) {
  if (s == reportStep_) return;
  reportStep_ = s;
  reportStepAt_ = Now();
  if (Events) Events->ReportStepChanged(s);
}

bool TMMSobject::IsOutstanding(std::uint32_t id) const {
  for (const auto& r : outstanding_)
    if (r->InvokeId == id) return true;
  return false;
}

bool TMMSobject::AnyOutstanding(int service) const {
  for (const auto& r : outstanding_)
    if (r->Service == service) return true;
  return false;
}

void TMMSobject::DropModelRefs() {
  for (auto& r : reports_.Items) {
    r->Block = nullptr;
    r->DataSet = nullptr;
    r->Active = false;
  }
  reports_.AllActive = false;
  for (auto& g : gcbs_.Items) {
    g->Block = nullptr;
    g->DataSet = nullptr;
  }
  writeResults_.clear();
  refusedBlocks_.clear();
}

void TMMSobject::ForgetReportNodes(const TMMSvar* subtree) {
  for (auto& r : reports_.Items)
    if (r->Block && r->Block->IsUnder(subtree)) {
      r->Block = nullptr;
      r->Active = false;
    }
  for (auto& g : gcbs_.Items)
    if (g->Block && g->Block->IsUnder(subtree)) g->Block = nullptr;
  writeResults_.erase(std::remove_if(writeResults_.begin(), writeResults_.end(),
                                     [&](const auto& w) { return w.first->IsUnder(subtree); }),
                      writeResults_.end());
  refusedBlocks_.erase(std::remove_if(refusedBlocks_.begin(), refusedBlocks_.end(),
                                      [&](const TMMSvar* b) { return b->IsUnder(subtree); }),
                       refusedBlocks_.end());
}

void TMMSobject::ResetReports() {
  for (auto& r : reports_.Items) {
    r->Block = nullptr;
    r->Active = false;
    r->SetupSent = false;
  }
  reports_.AllActive = false;
  rcbs_.clear();
  blockReads_.clear();
  gooseReads_.clear();
  writeResults_.clear();
  refusedDefines_.clear();
  refusedBlocks_.clear();
  gooseStep_ = 0;
  reportStep_ = -1;  // reported even when it was 0 already
  SetReportStep(kStepCheckSets);
}

void TMMSobject::NoteWriteResult(TMMSvar* v, int code) {
  for (auto& w : writeResults_)
    if (w.first == v) {
      w.second = code;
      return;
    }
}

void TMMSobject::NoteRefused(const TConfirmedServiceRequest& req) {
  if (req.Service == 11 && req.DataSet) refusedDefines_.push_back(req.DataSet->Domain + "/" + req.DataSet->Name);
}

void TMMSobject::EnableReports(const std::vector<TMMSReportParam*>& which, bool on) {
  for (auto& r : reports_.Items)
    if (which.empty() || std::find(which.begin(), which.end(), r.get()) != which.end()) {
      r->Enabled = on;
      if (!on) r->Active = false;
    }
  reports_.AllActive = false;
  // A setup that is not waiting for an answer starts over for the newly enabled reports.
  if (on && (reportStep_ == kStepCheckSets || reportStep_ == kStepReadBlocks || reportStep_ == kStepDone ||
             reportStep_ == kStepStopped || reportStep_ == kStepRetry))
    SetReportStep(kStepCheckSets);
}

bool TMMSobject::RestartReports() {
  if (mmsState_ != kMmsAssociated || writeOutstanding_) return false;
  BeginWrite();
  for (auto& r : reports_.Items) {
    if (!r->Enabled) continue;
    r->Active = false;
    if (TMMSvar* ena = Child(r->Block, dict_, "RptEna")) AddWriteBoolean(ena, false);
  }
  reports_.AllActive = false;
  if (!writeList_.empty() && !SendWrite()) return false;
  SetReportStep(kStepRestart);
  return true;
}

void TMMSobject::BuildReportList() {
  reports_.Clear();
  if (rcbs_.empty()) {
    CollectControlBlocks("RP", rcbs_);
    CollectControlBlocks("BR", rcbs_);
  }
  for (TMMSvar* b : rcbs_) {
    std::string id = ChildText(b, dict_, "RptID");
    if (id.empty()) continue;
    TMMSReportParam* r = reports_.Add();
    r->Client = this;
    r->RptID = id.substr(0, 64);
    r->DatSet = ChildText(b, dict_, "DatSet").substr(0, 64);
    r->Buffered = b->FunctionalConstraint() == "BR";
    std::int64_t v;
    if (ChildInt(b, dict_, "IntgPd", v)) r->IntgPd = static_cast<std::int32_t>(v);
    if (ChildInt(b, dict_, "BufTm", v)) r->BufTm = static_cast<std::int32_t>(v);
    if (ChildInt(b, dict_, "BufTim", v)) r->BufTm = static_cast<std::int32_t>(v);
  }
}

// ---- report setup ----

bool TMMSobject::DefineNextDataSet() {
  if (AnyOutstanding(11)) return false;
  for (auto& r : reports_.Items) {
    if (!r->Enabled) continue;
    TDataSet* ds = ResolveDataSet(r->DatSet);
    if (!ds || ds->Present || IsReservedDataSet(ds->Name)) continue;
    if (!ds->MustExist) {
      ds->Present = true;
      continue;
    }
    std::string key = ds->Domain + "/" + ds->Name;
    if (std::find(refusedDefines_.begin(), refusedDefines_.end(), key) != refusedDefines_.end()) continue;
    if (DefineDataSet(ds)) return true;
    refusedDefines_.push_back(key);  // nothing to define it with: not asked again on this association
  }
  return false;
}

void TMMSobject::ReportTick() {
  switch (reportStep_) {
    case kStepCheckSets:
    case kStepDefining: {
      // Data sets an enabled report needs and this client defines itself. The reserved ones
      // and those the server refused do not hold the setup back.
      bool missing = false;
      for (auto& r : reports_.Items) {
        if (!r->Enabled) continue;
        TDataSet* ds = ResolveDataSet(r->DatSet);
        if (!ds) continue;
        if (!ds->MustExist) {
          ds->Present = true;
          continue;
        }
        std::string key = ds->Domain + "/" + ds->Name;
        if (!ds->Present && !IsReservedDataSet(ds->Name) &&
            std::find(refusedDefines_.begin(), refusedDefines_.end(), key) == refusedDefines_.end())
          missing = true;
      }
      if (!missing) {
        SetReportStep(kStepReadBlocks);
        break;
      }
      SetReportStep(kStepDefining);
      DefineNextDataSet();
      break;
    }
    case kStepReadBlocks: {
      if (rcbs_.empty()) {
        CollectControlBlocks("RP", rcbs_);
        CollectControlBlocks("BR", rcbs_);
      }
      if (reports_.Items.empty() || rcbs_.empty()) {
        SetReportStep(kStepStopped);
        break;
      }
      blockReads_.clear();
      SetReportStep(kStepReading);
    }
      [[fallthrough]];
    case kStepReading:
      // One block at a time: a server takes only a few requests outstanding.
      if (!blockReads_.empty() && IsOutstanding(blockReads_.back())) break;
      if (blockReads_.size() < rcbs_.size()) {
        if (ReadVariables({rcbs_[blockReads_.size()]})) blockReads_.push_back(invokeId_);
        break;
      }
      SetReportStep(kStepRead);
      break;
    case kStepRead:
      for (auto& r : reports_.Items) r->SetupSent = false;
      for (TMMSvar* b : rcbs_) b->Claimed = false;
      writeResults_.clear();
      SetReportStep(kStepSetup);
      break;
    case kStepRestart: {
      // Wait until the unbuffered blocks a client has enabled are reserved; a block without
      // RptEna, or one that never gets there, holds the wait no longer than the retry delay.
      bool wait = false;
      if (rcbs_.empty()) {
        CollectControlBlocks("RP", rcbs_);
        CollectControlBlocks("BR", rcbs_);
      }
      for (TMMSvar* b : rcbs_) {
        if (b->FunctionalConstraint() != "RP") continue;
        bool ena = false, resv = false;
        if (!ChildBool(b, dict_, "RptEna", ena)) {
          if (!Child(b, dict_, "RptEna")) wait = true;
          continue;
        }
        if (ena && (!ChildBool(b, dict_, "Resv", resv) || !resv)) wait = true;
      }
      if (wait && WholeSeconds(reportStepAt_, Now()) < kReportRetryDelay) break;
      for (auto& r : reports_.Items) r->SetupSent = false;
      for (TMMSvar* b : rcbs_) b->Claimed = false;
      writeResults_.clear();
      SetReportStep(kStepSetup);
      break;
    }
    case kStepSetup:
      if (writeOutstanding_) break;
      if (!SetupNextReport()) SetReportStep(kStepEnable);
      break;
    case kStepEnable: {
      if (writeOutstanding_) break;
      // A block that refused a report's settings (another client holds it, or it is enabled)
      // is not enabled for it and not chosen again on this association.
      for (auto& r : reports_.Items) {
        if (!r->SetupSent || !r->Block || r->Active) continue;
        for (const auto& w : writeResults_)
          if (w.second != kWriteSuccess && w.second != -1 && w.first->IsUnder(r->Block)) {
            refusedBlocks_.push_back(r->Block);
            r->Block = nullptr;
            break;
          }
      }
      writeResults_.clear();
      BeginWrite();
      for (auto& r : reports_.Items) {
        if (!r->Enabled || r->Active || r->TrgOps == 0 || !r->Block) continue;
        if (TMMSvar* ena = Child(r->Block, dict_, "RptEna")) {
          writeResults_.emplace_back(ena, -1);
          AddWriteBoolean(ena, true);
        }
      }
      if (!writeList_.empty() && !SendWrite()) {
        writeResults_.clear();
        break;
      }
      SetReportStep(kStepConfirm);
      break;
    }
    case kStepConfirm: {
      if (writeOutstanding_) break;
      bool waiting = false, all = true;
      std::vector<TMMSvar*> gi;
      for (auto& r : reports_.Items) {
        if (!r->Enabled || r->TrgOps == 0 || r->Active) continue;
        r->LastReport = TTime{};
        TMMSvar* ena = Child(r->Block, dict_, "RptEna");
        int result = 0;
        bool found = false;
        for (auto& w : writeResults_)
          if (w.first == ena) result = w.second, found = true;
        if (!r->Block || !ena || !found) {
          all = false;
          continue;
        }
        if (result == -1) {
          waiting = true;
          continue;
        }
        if (result == kWriteSuccess) {
          r->Active = true;
          if (TMMSvar* g = Child(r->Block, dict_, "GI")) gi.push_back(g);
        } else {
          all = false;
        }
      }
      if (waiting) break;
      if (!gi.empty()) {
        BeginWrite();
        for (TMMSvar* g : gi) AddWriteBoolean(g, true);
        SendWrite();
      }
      for (auto& r : reports_.Items)
        if (r->Enabled && r->TrgOps != 0 && !r->Active) all = false;
      reports_.AllActive = all;
      SetReportStep(all ? kStepDone : kStepRetry);
      break;
    }
    case kStepRetry:
      if (WholeSeconds(reportStepAt_, Now()) >= kReportRetryDelay) SetReportStep(kStepReadBlocks);
      break;
    default:
      break;
  }
}

TMMSvar* TMMSobject::ChooseBlock(TMMSReportParam& r, TDataSet* ds) {
  const char* kind = r.Buffered ? "BR" : "RP";
  // A block that already carries the report's data set is taken first.
  auto refused = [&](TMMSvar* b) {
    return std::find(refusedBlocks_.begin(), refusedBlocks_.end(), b) != refusedBlocks_.end();
  };
  for (TMMSvar* b : rcbs_) {
    if (b->Claimed || b->FunctionalConstraint() != kind || refused(b)) continue;
    std::string set = ChildText(b, dict_, "DatSet");
    if (!set.empty() && ResolveDataSet(set) == ds) return b;
  }
  for (TMMSvar* b : rcbs_) {
    if (b->Claimed || b->FunctionalConstraint() != kind || refused(b)) continue;
    bool ena = false;
    ChildBool(b, dict_, "RptEna", ena);
    if (!ena) return b;
  }
  return nullptr;
}

bool TMMSobject::SetupNextReport() {
  for (auto& rp : reports_.Items) {
    TMMSReportParam& r = *rp;
    if (r.SetupSent || !r.Enabled || r.Active || r.TrgOps == 0) continue;
    r.SetupSent = true;
    TDataSet* ds = ResolveDataSet(r.DatSet);
    if (!ds) continue;
    TMMSvar* b = ChooseBlock(r, ds);
    if (!b) continue;
    b->Claimed = true;
    r.Block = b;
    r.Client = this;
    BeginWrite();
    auto put = [&](const char* name, auto&& add) {
      if (TMMSvar* v = Child(b, dict_, name)) add(v);
    };
    auto putNumber = [&](const char* name, std::int64_t x) {
      put(name, [&](TMMSvar* v) {
        if (v->Type == kMmsInteger) AddWriteInteger(v, x);
        else AddWriteUnsigned(v, static_cast<std::uint64_t>(x < 0 ? 0 : x));
      });
    };
    if (!r.Buffered) put("Resv", [&](TMMSvar* v) { AddWriteBoolean(v, true); });
    put("RptID", [&](TMMSvar* v) { AddWriteVisibleString(v, r.RptID); });
    // Data sets this client defines are association-specific: their bare name is the reference.
    std::string set = ds->MustExist || ds->Domain.empty() ? ds->Name : ds->Domain + "/" + ds->Name;
    put("DatSet", [&](TMMSvar* v) { AddWriteVisibleString(v, set); });
    // Sequence number and report time stamp; buffered reports add buffer overflow and EntryID.
    std::uint16_t opt = 0xC000 | (r.Buffered ? 0x0300 : 0);
    std::uint8_t optBits[2] = {static_cast<std::uint8_t>(opt >> 8), static_cast<std::uint8_t>(opt & 0xC0)};
    put("OptFlds", [&](TMMSvar* v) { AddWriteBitString(v, 10, optBits); });
    if (r.Buffered) {
      put("EntryID", [&](TMMSvar* v) {
        std::array<std::uint8_t, 8> id = r.EntryID;
        bool zero = std::all_of(id.begin(), id.end(), [](std::uint8_t x) { return x == 0; });
        if (zero && v->Value && v->Value->octets.size() == 8) std::memcpy(id.data(), v->Value->octets.data(), 8);
        AddWriteOctetString(v, id.data(), id.size());
      });
      putNumber("ResvTms", 1);
    }
    std::uint8_t trg = static_cast<std::uint8_t>(r.TrgOps & 0xFC);
    put("TrgOps", [&](TMMSvar* v) { AddWriteBitString(v, 6, &trg); });
    putNumber("IntgPd", r.IntgPd);
    putNumber("BufTm", r.BufTm);
    putNumber("BufTim", r.BufTm);
    if (writeList_.empty()) continue;
    for (const auto& w : writeList_) writeResults_.emplace_back(w.first, -1);
    SendWrite();
    return true;
  }
  return false;
}

// ---- reception ----

void TMMSobject::OnUnconfirmed(const std::uint8_t* d, std::size_t n) {
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  if (!r.Next(h, c) || h.tagClass != kContext) {
    stats_.Add(TStatHolder::kStructureErrors);
    return;
  }
  if (h.tag == 0) OnInformationReport(c, h.length);
}

void TMMSobject::OnInformationReport(const std::uint8_t* d, std::size_t n) {
  stats_.Add(TStatHolder::kReports);
  // InformationReport ::= { VariableAccessSpecification, [0] SEQUENCE OF AccessResult }
  TBerReader r(d, n);
  TBerHeader access, list;
  const std::uint8_t *sc, *lc;
  fifo_.clear();
  if (!r.Next(access, sc) || !r.Next(list, lc) || list.tagClass != kContext || list.tag != 0 ||
      !DecodeMmsData(lc, list.length, fifo_, TimeShiftHours)) {
    stats_.Add(TStatHolder::kStructureErrors);
    return;
  }
  std::size_t pos = 0;
  auto next = [&]() -> const TMMSDataContainer* {
    if (pos >= fifo_.size()) return nullptr;
    const TMMSDataContainer* v = &fifo_[pos];
    pos += v->span;
    return v;
  };
  auto fail = [&] { stats_.Add(TStatHolder::kStructureErrors); };
  const TMMSDataContainer* idv = next();
  if (!idv) return fail();
  std::string id = ValueText(*idv);
  TMMSReportParam* rp = reports_.Find(id);
  if (!rp) return fail();
  rp->LastReport = Now();
  rp->Seen = true;
  if (!rp->DataSet) rp->DataSet = ResolveDataSet(rp->DatSet);
  const TMMSDataContainer* opt = next();
  if (!opt || opt->kind != kMmsBitString) return fail();
  TMMSDataContainer options = *opt;
  if (Bit(options, 1)) {
    const TMMSDataContainer* v = next();
    if (!v) return fail();
    rp->SqNum = v->integer;
  }
  if (Bit(options, 2) && !next()) return fail();  // report time stamp
  if (Bit(options, 4) && !next()) return fail();  // data set name
  if (Bit(options, 6)) {
    const TMMSDataContainer* v = next();
    if (!v) return fail();
    if (rp->Buffered) rp->BufOvfl = v->integer != 0 || v->RawInt() != 0;
  }
  if (Bit(options, 7)) {
    const TMMSDataContainer* v = next();
    if (!v) return fail();
    if (rp->Buffered && v->octets.size() == 8) std::memcpy(rp->EntryID.data(), v->octets.data(), 8);
  }
  if (Bit(options, 8) && !next()) return fail();  // configuration revision
  if (Bit(options, 9) && (!next() || !next())) return fail();  // sub-sequence number, more segments
  const TMMSDataContainer* incl = next();
  if (!incl || incl->kind != kMmsBitString) return fail();
  TMMSDataContainer inclusion = *incl;
  TDataSet* ds = rp->DataSet;
  if (!ds || static_cast<std::size_t>(inclusion.bitCount) != ds->Members.size()) return fail();
  std::size_t included = 0;
  for (int i = 0; i < inclusion.bitCount; ++i)
    if (Bit(inclusion, i)) ++included;
  // One data reference per included member.
  if (Bit(options, 5))
    for (std::size_t i = 0; i < included; ++i)
      if (!next()) return fail();
  for (int i = 0; i < inclusion.bitCount; ++i) {
    if (!Bit(inclusion, i)) continue;
    if (pos >= fifo_.size()) return fail();
    TMMSvar* m = ds->Members[static_cast<std::size_t>(i)];
    if (MatchValue(*m, fifo_, pos) && Events) Events->VariableUpdated(m);
    pos += fifo_[pos].span;
  }
  if (Events) Events->Trace("Report:" + rp->RptID);
}

// ---- GOOSE control blocks ----

void TMMSobject::GooseTick() {
  if (gooseStep_ == 0) {
    if (gocbs_.empty()) CollectControlBlocks("GO", gocbs_);
    gooseReads_.clear();
    gooseStep_ = 1;
  }
  if (gooseStep_ == 1) {
    if (!gooseReads_.empty() && IsOutstanding(gooseReads_.back())) return;
    if (gooseReads_.size() < gocbs_.size()) {
      if (ReadVariables({gocbs_[gooseReads_.size()]})) gooseReads_.push_back(invokeId_);
      return;
    }
    BuildGooseList();
  }
}

void TMMSobject::BuildGooseList() {
  if (gocbs_.empty()) CollectControlBlocks("GO", gocbs_);
  for (TMMSvar* b : gocbs_) {
    std::string ref = Reference(b);
    TGCBObject* g = nullptr;
    for (auto& x : gcbs_.Items)
      if (x->Block == b || x->Reference == ref) g = x.get();
    if (!g) {
      g = gcbs_.Add();
      g->Name = dict_[b->Name];
      g->Reference = ref;
    }
    g->Block = b;
    std::string s = ChildText(b, dict_, "GoID");
    if (!s.empty()) g->GoID = s;
    if (g->GoID.empty()) g->GoID = ref;
    s = ChildText(b, dict_, "DatSet");
    if (!s.empty()) g->DatSet = s;
    g->DataSet = ResolveDataSet(g->DatSet);
    std::int64_t v;
    ChildBool(b, dict_, "GoEna", g->GoEna);
    ChildBool(b, dict_, "NdsCom", g->NdsCom);
    ChildBool(b, dict_, "FixedOffs", g->FixedOffs);
    if (ChildInt(b, dict_, "ConfRev", v)) g->ConfRev = v;
    if (ChildInt(b, dict_, "MinTime", v)) g->MinTime = v;
    if (ChildInt(b, dict_, "MaxTime", v)) g->MaxTime = v;
    TMMSvar* dst = Child(b, dict_, "DstAddress");
    if (TMMSvar* a = Child(dst, dict_, "Addr"); a && a->Value && a->Value->octets.size() == 6)
      std::memcpy(g->Mac.data(), a->Value->octets.data(), 6);
    if (ChildInt(dst, dict_, "PRIORITY", v)) g->Priority = static_cast<std::int32_t>(v);
    if (ChildInt(dst, dict_, "VID", v)) g->VID = static_cast<std::int32_t>(v);
    if (ChildInt(dst, dict_, "APPID", v)) g->APPID = static_cast<std::int32_t>(v);
  }
  gooseStep_ = 2;
}

}  // namespace t32
