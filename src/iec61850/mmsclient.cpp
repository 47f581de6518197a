// MMS client services over the ISO stack.
#include "iec61850/mmsclient.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace t32 {

namespace {

constexpr const char* kVmdDomain = "LPHD0";

enum NameListKind { kListDomains = 1, kListDomainVars = 2, kListVmdLists = 3, kListDomainLists = 4 };
enum Stage { kStageDomains = 1, kStageVars, kStageTypes, kStageVmdLists, kStageDomainLists, kStageDataSets,
             kStageRcbs, kStageGocbs };

std::string Text(const std::uint8_t* d, std::size_t n) { return std::string(reinterpret_cast<const char*>(d), n); }

bool ReadInt(const std::uint8_t* d, std::size_t n, std::int64_t& v) {
  TASNInteger i(kContext, 0, 0);
  if (!i.DecodeContents(d, n)) return false;
  v = i.Value();
  return true;
}

// Bits of a bitset sent as an n-bit BIT STRING (bit 0 first).
template <std::size_t N> std::unique_ptr<TASNBitString> BitsOf(const std::bitset<N>& b, std::int32_t tag) {
  std::uint8_t octets[(N + 7) / 8] = {};
  for (std::size_t i = 0; i < N; ++i)
    if (b[i]) octets[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  return std::make_unique<TASNBitString>(kContext, static_cast<int>(N), octets, tag);
}

template <std::size_t N> void BitsFrom(const TASNBitString& s, std::bitset<N>& b) {
  b.reset();
  for (std::size_t i = 0; i < N; ++i) b[i] = s.Bit(static_cast<int>(i));
}

// Parses an ObjectName element: vmd-specific, domain-specific or association-specific.
bool ParseObjectName(const TBerHeader& h, const std::uint8_t* c, std::string& domain, std::string& item) {
  domain.clear();
  item.clear();
  if (h.tagClass != kContext) return false;
  if (h.tag == 0 || h.tag == 2) {
    item = Text(c, h.length);
    return true;
  }
  if (h.tag != 1) return false;
  TBerReader r(c, h.length);
  TBerHeader e;
  const std::uint8_t* ec;
  if (!r.Next(e, ec)) return false;
  domain = Text(ec, e.length);
  if (!r.Next(e, ec)) return false;
  item = Text(ec, e.length);
  return true;
}

void MakeDirs(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0777);
}

}  // namespace

TMMSobject::TMMSobject() : root_(std::make_unique<TMMSvar>(0, nullptr)) {
  root_->Name = dict_.Add("VMD");
  for (int b : {0, 1, 2, 6, 7}) ProposedCBB.set(b);
  for (int s : {0, 1, 4, 5, 6, 7, 11, 12, 13, 72, 73, 74, 78, 79}) ProposedServices.set(s);
  ApplyAddress();
}

TMMSobject::~TMMSobject() {
  if (download_.file) std::fclose(download_.file);
}

const char* TMMSobject::StateCaption(int s) {
  static const char* const k[8] = {"нет соединения ", "инициализация...", "таймаут ", "ошибка ",
                                   "отказ инициализации", "отключено", "сбой связи", "есть связь"};
  return s >= 0 && s < 8 ? k[s] : "";
}

void TMMSobject::ApplyAddress() {
  const TServerAddress& a = active_ ? Reserve : Main;
  std::memcpy(RemoteAddress, a.Ip, 4);
  RemotePort = a.Port;
  ConnectTimeout = a.ResponseTimeout;
  RetryInterval = a.ReconnectInterval;
}

void TMMSobject::SetMMSState(int s) {
  if (s == mmsState_) return;
  mmsState_ = s;
  if (Events) Events->StateChanged(s);
}

void TMMSobject::SetBrowseStep(int s) {
  if (s == browseStep_) return;
  browseStep_ = s;
  if (Events) Events->BrowseStepChanged(s);
}

std::string TMMSobject::StatusText() const {
  static const char* const kTcp[7] = {"нет соединения ", "подключение...", "соединение установлено", "", "",
                                      "ошибка подключения", "нет сокета"};
  static const char* const kCotp[4] = {"нет сетевого соединения", "запрос подключения...", "ошибка",
                                       "соединение установлено"};
  static const char* const kSes[5] = {"нет соединения транспортного уровня", "ожидание", "запрос подключения...",
                                      "отказ подключения", "сессия открыта"};
  static const char* const kPres[4] = {"нет соединения ", "запрос подключения...", "отказ подключения",
                                       "соединение установлено"};
  std::string s = std::string("TCP: ") + kTcp[State()];
  s += std::string("\rCOTP:") + kCotp[CotpState()];
  s += std::string("\rSES: ") + kSes[SessionState()];
  s += std::string("\rPRES:") + kPres[PresentationState()];
  s += std::string("\rACSE:") + kPres[AcseState()];
  s += std::string("\rMMS: ") + StateCaption(mmsState_);
  return s;
}

std::string TMMSobject::ServicesText() const {
  std::string s;
  for (int i = 0; i < 85; ++i)
    if (serverServices_[i]) s += std::string(kServiceNames[i]) + "\n";
  return s;
}

std::string TMMSobject::CbbText() const {
  std::string s;
  for (int i = 0; i < 11; ++i)
    if (serverCbb_[i]) s += std::string(kCbbNames[i]) + "\n";
  return s;
}

namespace {
std::size_t NodeMemory(const TMMSvar& n) {
  std::size_t m = sizeof(TMMSvar) + n.Children.capacity() * sizeof(void*);
  if (n.Value) m += sizeof(TMMSDataContainer) + (n.Value->octets.size() > 15 ? n.Value->octets.capacity() : 0);
  for (const auto& c : n.Children) m += NodeMemory(*c);
  return m;
}
std::size_t NamesMemory(const std::vector<std::string>& v) {
  std::size_t m = v.capacity() * sizeof(std::string);
  for (const auto& s : v)
    if (s.size() > 15) m += s.capacity() + 1;
  return m;
}
}  // namespace

std::size_t TMMSobject::ModelMemory() const {
  std::size_t m = NodeMemory(*root_) + dict_.MemoryUsed();
  for (const auto& d : domains_) m += sizeof(d) + NamesMemory(d.VarNames) + NamesMemory(d.ListNames);
  for (const auto& ds : dataSets_) m += sizeof(TDataSet) + ds->Members.capacity() * sizeof(void*) + NamesMemory(ds->MemberNames);
  return m;
}

// ---- transport hooks ----

void TMMSobject::Receive(const std::uint8_t* data, std::size_t length) {
  stats_.Add(TStatHolder::kBytesReceived, static_cast<std::int64_t>(length) + 66);
  lastReceive_ = Now();
  TACSEobject::Receive(data, length);
}

bool TMMSobject::Transmit(const std::uint8_t* data, std::size_t length) {
  bool ok = TACSEobject::Transmit(data, length);
  if (ok) stats_.Add(TStatHolder::kBytesSent, static_cast<std::int64_t>(length) + 66);
  return ok;
}

void TMMSobject::ProtocolError(const char*) {
  stats_.Add(TStatHolder::kStructureErrors);
  DropConnection();
}

void TMMSobject::StreamError(int) {
  stats_.Add(TStatHolder::kStructureErrors);
  DropConnection();
}

void TMMSobject::ConnectionRefused(const char*) {
  if (mmsState_ == kMmsInitiating) SetMMSState(kMmsError);
}

void TMMSobject::DropConnection() {
  SetMMSState(kMmsIdle);
  ResetCotp();
  FreeOutstanding();
  writeOutstanding_ = false;
  directoryPending_ = false;
  if (download_.active) FinishDownload(false);
  if (State() == kConnected || State() == kConnecting) Disconnect(4);
}

void TMMSobject::Failure() {
  stats_.Add(TStatHolder::kStructureErrors);
  SetMMSState(kMmsFailure);
}

// ---- sending ----

bool TMMSobject::SendRequest(std::unique_ptr<TConfirmedServiceRequest> req, std::unique_ptr<TASNobject> service) {
  if (mmsState_ != kMmsAssociated) return false;
  std::uint32_t id = invokeId_ + 1;
  TASNSequence pdu(kContext, 0);
  pdu.Add<TASNInteger>(kUniversal, id, 2);
  req->Service = service->TagNumber;
  pdu.Add(std::move(service));
  enc_.BeginEncode();
  if (!pdu.Encode(enc_)) return false;  // too large to send: nothing went out
  invokeId_ = id;
  req->InvokeId = id;
  req->Sent = Now();
  if (!Send(enc_.Data(), enc_.EncodedLength())) {
    stats_.Add(TStatHolder::kSendErrors);
    DropConnection();
    return false;
  }
  stats_.Add(TStatHolder::kRequestsSent);
  outstanding_.push_back(std::move(req));
  stats_.Max(TStatHolder::kMaxQueue, static_cast<std::int64_t>(outstanding_.size()));
  return true;
}

std::unique_ptr<TConfirmedServiceRequest> TMMSobject::TakeRequest(std::uint32_t id) {
  for (auto it = outstanding_.begin(); it != outstanding_.end(); ++it)
    if ((*it)->InvokeId == id) {
      auto r = std::move(*it);
      outstanding_.erase(it);
      return r;
    }
  return nullptr;
}

bool TMMSobject::EncodeInitiateRequest(std::vector<std::uint8_t>& out) const {
  TASNSequence req(kContext, 8);
  req.Add<TASNInteger>(kContext, LocalDetailCalling, 0);
  req.Add<TASNInteger>(kContext, MaxServOutstandingCalling, 1);
  req.Add<TASNInteger>(kContext, MaxServOutstandingCalled, 2);
  req.Add<TASNInteger>(kContext, NestingLevel, 3);
  auto* detail = req.Add<TASNSequence>(kContext, 4);
  detail->Add<TASNInteger>(kContext, 1, 0);
  detail->Add(BitsOf(ProposedCBB, 1));
  detail->Add(BitsOf(ProposedServices, 2));
  TBerEncoder enc(512);
  if (!req.Encode(enc)) return false;
  out.assign(enc.Data(), enc.Data() + enc.EncodedLength());
  return true;
}

bool TMMSobject::SendInitiate() {
  std::vector<std::uint8_t> pdu;
  lastInitiate_ = Now();
  bool ok = EncodeInitiateRequest(pdu) && Send(pdu.data(), pdu.size());
  if (ok) {
    stats_.Add(TStatHolder::kRequestsSent);
    SetMMSState(kMmsInitiating);
  } else {
    stats_.Add(TStatHolder::kSendErrors);
    SetMMSState(kMmsFailure);
  }
  return ok;
}

void TMMSobject::AddObjectName(TASNStructured& parent, const TMMSvar* v, std::int32_t tag) {
  TASNStructured* into = &parent;
  if (tag >= 0) into = parent.Add<TASNStructured>(kContext, tag);
  const TMMSvar* dom = v->DomainNode();
  std::string item = v->FullName(dict_);
  if (!dom || dict_[dom->Name] == kVmdDomain) {
    into->Add<TASNVisibleString>(kContext, item, 0);
  } else {
    auto* ds = into->Add<TASNSequence>(kContext, 1);
    ds->Add<TASNVisibleString>(kUniversal, dict_[dom->Name], 26);
    ds->Add<TASNVisibleString>(kUniversal, item, 26);
  }
}

void TMMSobject::AddVariableList(TASNStructured& parent, const std::vector<TMMSvar*>& vars, std::int32_t tag) {
  auto* list = parent.Add<TASNSequence>(kContext, tag);
  for (TMMSvar* v : vars) AddObjectName(*list->Add<TASNSequence>(kUniversal, 16), v, 0);
}

// ---- receiving ----

bool TMMSobject::DeliverTSDU(const std::uint8_t*& data, std::size_t& length) {
  if (!TACSEobject::DeliverTSDU(data, length)) return false;
  HandlePdu(data, length);
  return false;
}

void TMMSobject::HandlePdu(const std::uint8_t* data, std::size_t length) {
  TBerHeader h;
  if (!ParseHeader(data, length, h) || h.tagClass != kContext) {
    Failure();
    return;
  }
  const std::uint8_t* c = data + h.headerSize;
  switch (h.tag) {
    case 1:
      if (mmsState_ == kMmsAssociated) HandleConfirmedResponse(c, h.length);
      break;
    case 2:
      if (mmsState_ == kMmsAssociated) HandleConfirmedError(c, h.length);
      break;
    case 3:
      OnUnconfirmed(c, h.length);
      break;
    case 4:
      DropConnection();
      break;
    case 9:
      if (mmsState_ == kMmsInitiating) HandleInitiateResponse(data, length);
      break;
    case 10:
      if (mmsState_ == kMmsInitiating) SetMMSState(kMmsRefused);
      break;
    default:
      break;
  }
}

void TMMSobject::HandleInitiateResponse(const std::uint8_t* data, std::size_t length) {
  TASNSequence resp(kContext, 9);
  auto* detailCalled = resp.Add<TASNInteger>(kContext, 0, 0);
  for (int t = 1; t < 4; ++t) resp.Add<TASNInteger>(kContext, 0, t);
  auto* detail = resp.Add<TASNSequence>(kContext, 4);
  detail->Add<TASNInteger>(kContext, 0, 0);
  auto* cbb = detail->Add<TASNBitString>(kContext, 0, nullptr, 1);
  auto* services = detail->Add<TASNBitString>(kContext, 0, nullptr, 2);
  std::size_t used = 0;
  if (!resp.Decode(data, length, used) || !detail->Valid || !cbb->Valid || !services->Valid) {
    stats_.Add(TStatHolder::kStructureErrors);
    SetMMSState(kMmsError);
    return;
  }
  BitsFrom(*cbb, serverCbb_);
  BitsFrom(*services, serverServices_);
  // The PDU size both sides accept: the smaller of the two proposals.
  maxPduSize_ = LocalDetailCalling > 0 ? LocalDetailCalling : 65000;
  if (detailCalled->Valid && detailCalled->Value() > 0 && detailCalled->Value() < maxPduSize_)
    maxPduSize_ = static_cast<std::int32_t>(detailCalled->Value());
  stats_.Add(TStatHolder::kResponses);
  stats_.Add(TStatHolder::kReconnects);
  associatedAt_ = Now();
  lastReceive_ = Now();
  lastStatus_ = Now();
  writeOutstanding_ = false;
  // A browse that was running is abandoned; a loaded model stays.
  if (browsing_) {
    browsing_ = false;
    stage_ = 0;
  }
  SetBrowseStep(0);
  for (auto& ds : dataSets_)
    if (ds->MustExist) ds->Present = false;
  ResetReports();
  SetMMSState(kMmsAssociated);
}

void TMMSobject::HandleConfirmedResponse(const std::uint8_t* d, std::size_t n) {
  TBerReader r(d, n);
  TBerHeader h, s;
  const std::uint8_t *hc, *sc;
  std::int64_t id = 0;
  if (!r.Next(h, hc) || h.tagClass != kUniversal || h.tag != 2 || !ReadInt(hc, h.length, id) || !r.Next(s, sc) ||
      s.tagClass != kContext || s.tag >= 85) {
    Failure();
    return;
  }
  auto req = TakeRequest(static_cast<std::uint32_t>(id));
  if (!req) return;  // nobody asked: ignored
  stats_.Add(TStatHolder::kResponses);
  bool ok = true;
  switch (s.tag) {
    case 0: {
      TBerReader st(sc, s.length);
      TBerHeader e;
      const std::uint8_t* ec;
      std::int64_t v;
      if (st.Next(e, ec) && ReadInt(ec, e.length, v)) serverStatus_ = v;
      break;
    }
    case 1: ok = OnGetNameList(*req, sc, s.length); break;
    case 4: ok = OnRead(*req, sc, s.length); break;
    case 5: ok = OnWrite(*req, sc, s.length); break;
    case 6: ok = OnGetVarAttributes(*req, sc, s.length); break;
    case 11:
      if (req->DataSet) req->DataSet->Present = true;
      break;
    case 12: ok = OnGetNamedListAttributes(*req, sc, s.length); break;
    case 72: ok = OnFileOpen(*req, sc, s.length); break;
    case 73: ok = OnFileRead(*req, sc, s.length); break;
    case 74: break;  // file closed
    case 77: ok = OnFileDirectory(*req, sc, s.length); break;
    default: break;
  }
  if (!ok) {
    Failure();
    if (browsing_) {
      browsing_ = false;
      SetBrowseStep(kBrowseFailed);
    }
  }
}

void TMMSobject::HandleConfirmedError(const std::uint8_t* d, std::size_t n) {
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  std::int64_t id = -1, errClass = -1, code = 0;
  while (r.Next(h, c)) {
    if (h.tagClass != kContext) continue;
    if (h.tag == 0) {
      if (!ReadInt(c, h.length, id)) id = -1;
    } else if (h.tag == 2) {
      TBerReader se(c, h.length);
      TBerHeader e;
      const std::uint8_t* ec;
      if (se.Next(e, ec) && e.tag == 0) {
        TBerReader alt(ec, e.length);
        TBerHeader a;
        const std::uint8_t* ac;
        if (alt.Next(a, ac) && a.tag <= 12 && ReadInt(ac, a.length, code)) errClass = a.tag;
      }
    }
  }
  std::unique_ptr<TConfirmedServiceRequest> req;
  if (r.Failed() || id < 0 || errClass < 0 || !(req = TakeRequest(static_cast<std::uint32_t>(id)))) {
    Failure();
    return;
  }
  stats_.Add(TStatHolder::kResponses);
  // A refused step of the browse marks its object done so the browse can go on.
  switch (req->Service) {
    case 1:
      if (req->NameListKind == kListDomains) domainsLoaded_ = true;
      if (req->NameListKind == kListDomainVars && req->DomainIndex >= 0 && req->DomainIndex < (int)domains_.size())
        domains_[req->DomainIndex].VarsLoaded = true;
      if (req->NameListKind == kListVmdLists) vmd_.ListsLoaded = true;
      if (req->NameListKind == kListDomainLists && req->DomainIndex >= 0 && req->DomainIndex < (int)domains_.size())
        domains_[req->DomainIndex].ListsLoaded = true;
      break;
    case 4:
      // A read refused as a whole (a response too large for the PDU size, say) is asked
      // again in halves; a single variable keeps the server's reason.
      if (req->Vars.size() > 1) {
        std::size_t half = req->Vars.size() / 2;
        std::vector<TMMSvar*> a(req->Vars.begin(), req->Vars.begin() + static_cast<long>(half)),
            b(req->Vars.begin() + static_cast<long>(half), req->Vars.end());
        ReadVariables(a);
        ReadVariables(b);
      } else {
        for (TMMSvar* v : req->Vars) {
          v->ReadErrorClass = static_cast<std::int8_t>(errClass);
          v->ReadErrorCode = static_cast<std::int16_t>(std::clamp<std::int64_t>(code, -1, 32767));
        }
      }
      break;
    case 5:
      writeOutstanding_ = false;
      for (TMMSvar* v : req->Vars) {
        NoteWriteResult(v, static_cast<int>(code));
        if (Events) Events->WriteResult(v, static_cast<int>(code));
      }
      break;
    case 11:
      NoteRefused(*req);
      break;
    case 12:
      if (req->DataSet) req->DataSet->Read = true;
      break;
    case 72:
    case 73:
      if (download_.active) FinishDownload(false);
      break;
    case 77:
      directoryPending_ = false;
      if (Events) Events->DirectoryComplete(false);
      break;
    default:
      break;
  }
  if (browsing_ && browseStep_ != 0 && browseStep_ != kBrowseFailed) SetBrowseStep(0);
}

// ---- tick ----

void TMMSobject::Tick(TTime now) {
  TACSEobject::Tick(now);
  // Failed connect: try the other server once per failed attempt.
  if (State() == kFailed && mmsState_ != kMmsOff && Reserve.IsSet() && switchedFor_ != LastAttempt()) {
    switchedFor_ = LastAttempt();
    active_ ^= 1;
    ApplyAddress();
    if (Events) Events->ActiveServerChanged(active_);
  }
  if (CotpState() != kCotpConnected) {
    // The connection went away under the association: what was waiting for an answer ends
    // now, as failed, instead of waiting for ever.
    if (mmsState_ == kMmsAssociated) {
      FreeOutstanding();
      writeOutstanding_ = false;
      if (directoryPending_) {
        directoryPending_ = false;
        if (Events) Events->DirectoryComplete(false);
      }
      if (download_.active) FinishDownload(false);
    }
    if (mmsState_ != kMmsOff) SetMMSState(kMmsIdle);
    return;
  }
  const TServerAddress& a = active_ ? Reserve : Main;
  switch (mmsState_) {
    case kMmsIdle:
    case kMmsTimeout:
      if (lastInitiate_ == TTime{} || WholeSeconds(lastInitiate_, Now()) > a.ReconnectInterval) SendInitiate();
      break;
    case kMmsError:
    case kMmsRefused:
      // The upper layers refused on this transport connection; a new attempt needs a new one.
      if (WholeSeconds(lastInitiate_, Now()) > a.ReconnectInterval) {
        SetMMSState(kMmsIdle);
        ResetCotp();
        Disconnect(4);
      }
      break;
    case kMmsInitiating:
      if (WholeSeconds(lastInitiate_, Now()) > ConnectTimeout) SetMMSState(kMmsError);
      break;
    case kMmsOff:
      if (State() == kConnected) DropConnection(), SetMMSState(kMmsOff);
      break;
    case kMmsFailure:
      DropConnection();
      break;
    case kMmsAssociated: {
      stats_.Set(TStatHolder::kUptime, WholeSeconds(associatedAt_, Now()));
      if (ResponseTimeout > 0)
        for (auto& r : outstanding_)
          if (WholeSeconds(r->Sent, Now()) > ResponseTimeout) {
            stats_.Add(TStatHolder::kTimeouts);
            DropConnection();
            return;
          }
      if (SilenceLimit > 0 && std::chrono::duration<double>(Now() - lastReceive_).count() > SilenceLimit) {
        stats_.Add(TStatHolder::kTimeouts);
        DropConnection();
        return;
      }
      if (browsing_) {
        if (browseStep_ == 0) BrowseNext();
        return;
      }
      if (reportStep_ != 11 && reportStep_ != 3) ReportTick();
      if (ReadGooseBlocks && gooseStep_ != 2) GooseTick();
      if (serverServices_[0] && outstanding_.empty() && WholeSeconds(lastStatus_, Now()) > kStatusPeriod) {
        lastStatus_ = Now();
        auto req = std::make_unique<TConfirmedServiceRequest>();
        SendRequest(std::move(req), std::make_unique<TASNboolean>(kContext, true, 0));
      }
      break;
    }
    default:
      break;
  }
}

// ---- browse ----

bool TMMSobject::LoadModel() {
  if (mmsState_ != kMmsAssociated) return false;
  FreeOutstanding();
  writeOutstanding_ = false;
  loaded_ = false;
  domainsLoaded_ = false;
  domains_.clear();
  vmd_ = TMMSdomain{};
  vmd_.VarsLoaded = true;  // VMD-scope variables are not asked
  for (auto& ds : dataSets_) ds->Read = false;
  stage_ = kStageDomains;
  browsing_ = true;
  browseStep_ = 0;
  return true;
}

bool TMMSobject::SendGetNameList(int objectClass, int domainIndex, int kind, const std::string& continueAfter) {
  auto body = std::make_unique<TASNSequence>(kContext, 1);
  body->Add<TASNStructured>(kContext, 0)->Add<TASNInteger>(kContext, objectClass, 0);
  auto* scope = body->Add<TASNStructured>(kContext, 1);
  if (domainIndex >= 0)
    scope->Add<TASNVisibleString>(kContext, domains_[domainIndex].Name, 1);
  else
    scope->Add<TASNnull>(kContext, 0);
  if (!continueAfter.empty()) body->Add<TASNVisibleString>(kContext, continueAfter, 2);
  auto req = std::make_unique<TConfirmedServiceRequest>();
  req->NameListKind = kind;
  req->DomainIndex = domainIndex;
  req->Related = continueAfter;
  return SendRequest(std::move(req), std::move(body));
}

void TMMSobject::BrowseNext() {
  switch (stage_) {
    case kStageDomains:
      if (!domainsLoaded_) {
        if (SendGetNameList(9, -1, kListDomains, "")) SetBrowseStep(1);
        return;
      }
      stage_ = kStageVars;
      [[fallthrough]];
    case kStageVars:
      for (std::size_t i = 0; i < domains_.size(); ++i)
        if (!domains_[i].VarsLoaded) {
          if (SendGetNameList(0, static_cast<int>(i), kListDomainVars, "")) SetBrowseStep(3);
          return;
        }
      FreeOutstanding();
      RebuildTree();
      stage_ = kStageTypes;
      [[fallthrough]];
    case kStageTypes:
      for (auto& dom : root_->Children) {
        if (dict_[dom->Name] == kVmdDomain) continue;
        for (auto& ln : dom->Children)
          if (ln->Type == kMmsNone && !ln->TypeTried) {
            ln->TypeTried = true;
            if (GetVariableAttributes(ln.get())) SetBrowseStep(5);
            return;
          }
      }
      stage_ = kStageVmdLists;
      [[fallthrough]];
    case kStageVmdLists:
      if (!vmd_.ListsLoaded) {
        if (SendGetNameList(2, -1, kListVmdLists, "")) SetBrowseStep(6);
        return;
      }
      for (std::size_t i = 0; i < domains_.size(); ++i)
        if (!domains_[i].ListsLoaded) {
          if (SendGetNameList(2, static_cast<int>(i), kListDomainLists, "")) SetBrowseStep(7);
          return;
        }
      RebuildDataSets();
      stage_ = kStageDataSets;
      [[fallthrough]];
    case kStageDataSets:
      for (auto& ds : dataSets_)
        if (!ds->Read && (ds->Present || !ds->MustExist)) {
          ds->Read = true;  // asked once; the answer fills it
          if (GetDataSetMembers(ds.get())) SetBrowseStep(4);
          return;
        }
      rcbs_.clear();
      CollectControlBlocks("RP", rcbs_);
      CollectControlBlocks("BR", rcbs_);
      rcbNext_ = 0;
      stage_ = kStageRcbs;
      [[fallthrough]];
    case kStageRcbs:
      if (rcbNext_ < rcbs_.size()) {
        if (ReadOne(rcbs_[rcbNext_++])) SetBrowseStep(9);
        return;
      }
      gocbs_.clear();
      CollectControlBlocks("GO", gocbs_);
      gocbNext_ = 0;
      stage_ = kStageGocbs;
      [[fallthrough]];
    case kStageGocbs:
      if (gocbNext_ < gocbs_.size()) {
        if (ReadOne(gocbs_[gocbNext_++])) SetBrowseStep(10);
        return;
      }
      browsing_ = false;
      loaded_ = true;
      stage_ = 0;
      BuildGooseList();
      SetBrowseStep(0);
      if (Events) Events->ModelLoaded();
      return;
    default:
      browsing_ = false;
      return;
  }
}

void TMMSobject::ForgetNodes(const TMMSvar* subtree) {
  for (auto& ds : dataSets_)
    ds->Members.erase(std::remove_if(ds->Members.begin(), ds->Members.end(),
                                     [&](TMMSvar* m) { return m->IsUnder(subtree); }),
                      ds->Members.end());
  for (auto& r : outstanding_)
    r->Vars.erase(std::remove_if(r->Vars.begin(), r->Vars.end(), [&](TMMSvar* m) { return m->IsUnder(subtree); }),
                  r->Vars.end());
  auto drop = [&](std::vector<TMMSvar*>& l) {
    l.erase(std::remove_if(l.begin(), l.end(), [&](TMMSvar* m) { return m->IsUnder(subtree); }), l.end());
  };
  drop(rcbs_);
  drop(gocbs_);
  ForgetReportNodes(subtree);
  writeList_.erase(std::remove_if(writeList_.begin(), writeList_.end(),
                                  [&](const auto& w) { return w.first->IsUnder(subtree); }),
                   writeList_.end());
}

namespace {
// The functional constraint of a node is its own name when it sits directly under a logical
// node and has two letters; below that it is inherited.
void InitNode(TMMSvar& n, const TStrDictionary& dict) {
  TMMSvar* p = n.Parent;
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
}  // namespace

void TMMSobject::RebuildTree() {
  DropModelRefs();
  for (auto& ds : dataSets_) ds->Members.clear();
  rcbs_.clear();
  gocbs_.clear();
  writeList_.clear();
  root_->Children.clear();
  nodeCount_ = 1;
  auto addDomain = [&](const TMMSdomain& d) {
    TMMSvar* dom = root_->AddChild(dict_.Add(d.Name));
    dom->Domain = true;
    ++nodeCount_;
    for (const std::string& name : d.VarNames) {
      TMMSvar* at = dom;
      std::size_t i = 0;
      while (i <= name.size()) {
        std::size_t j = name.find('$', i);
        if (j == std::string::npos) j = name.size();
        std::string_view part(name.data() + i, j - i);
        if (part.empty() || part.size() > 64) break;
        std::int64_t idx = dict_.Find(part);
        TMMSvar* next = idx >= 0 ? at->FindChild(static_cast<std::uint32_t>(idx)) : nullptr;
        if (!next) {
          if (nodeCount_ >= kMaxModelNodes) return;
          next = at->AddChild(dict_.Add(part));
          InitNode(*next, dict_);
          ++nodeCount_;
        }
        at = next;
        i = j + 1;
      }
    }
    if (d.Name == kVmdDomain && dom->Children.empty()) root_->Children.pop_back();
  };
  TMMSdomain vmdPseudo = vmd_;
  vmdPseudo.Name = kVmdDomain;
  addDomain(vmdPseudo);
  for (const auto& d : domains_) addDomain(d);
}

void TMMSobject::RebuildDataSets() {
  DropModelRefs();
  dataSets_.erase(std::remove_if(dataSets_.begin(), dataSets_.end(), [](const auto& d) { return !d->MustExist; }),
                  dataSets_.end());
  auto add = [&](const std::string& domain, const std::string& name) {
    for (auto& d : dataSets_)
      if (d->Name == name && d->Domain == domain) {
        d->Present = true;
        return;
      }
    auto ds = std::make_unique<TDataSet>();
    ds->Name = name;
    ds->Domain = domain;
    ds->Present = true;
    dataSets_.push_back(std::move(ds));
  };
  for (const auto& n : vmd_.ListNames) add("", n);
  for (const auto& d : domains_)
    for (const auto& n : d.ListNames) add(d.Name, n);
}

void TMMSobject::CollectControlBlocks(const char* fc, std::vector<TMMSvar*>& out) {
  for (auto& dom : root_->Children)
    for (auto& ln : dom->Children)
      for (auto& f : ln->Children)
        if (dict_[f->Name] == fc)
          for (auto& cb : f->Children) out.push_back(cb.get());
}

// ---- services ----

bool TMMSobject::ReadOne(TMMSvar* v) { return ReadVariables({v}); }

bool TMMSobject::ReadVariables(const std::vector<TMMSvar*>& vars) {
  if (mmsState_ != kMmsAssociated || vars.empty()) return false;
  auto body = std::make_unique<TASNSequence>(kContext, 4);
  AddVariableList(*body->Add<TASNStructured>(kContext, 1), vars, 0);
  // A request the server could not take in one PDU goes as two halves (and so on).
  if (vars.size() > 1) {
    enc_.BeginEncode();
    if (!body->Encode(enc_) || enc_.EncodedLength() + 16 > static_cast<std::size_t>(maxPduSize_)) {
      std::size_t half = vars.size() / 2;
      std::vector<TMMSvar*> a(vars.begin(), vars.begin() + static_cast<long>(half)),
          b(vars.begin() + static_cast<long>(half), vars.end());
      return ReadVariables(a) && ReadVariables(b);
    }
  }
  for (TMMSvar* v : vars) {
    v->ReadErrorClass = -1;
    v->ReadErrorCode = 0;
  }
  auto req = std::make_unique<TConfirmedServiceRequest>();
  req->Vars = vars;
  return SendRequest(std::move(req), std::move(body));
}

bool TMMSobject::OnRead(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n) {
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  bool found = false;
  fifo_.clear();
  while (r.Next(h, c))
    if (h.tagClass == kContext && h.tag == 1) {
      if (!DecodeMmsData(c, h.length, fifo_, TimeShiftHours)) return false;
      found = true;
    }
  if (r.Failed() || !found) return false;
  std::size_t pos = 0;
  for (TMMSvar* v : req.Vars) {
    if (pos >= fifo_.size()) break;
    if (fifo_[pos].kind == 0) {
      // The server's reason for this variable (DataAccessError).
      v->ReadErrorClass = kDataAccessErrorClass;
      v->ReadErrorCode = static_cast<std::int16_t>(std::clamp<std::int64_t>(fifo_[pos].integer, -1, 32767));
    }
    if (MatchValue(*v, fifo_, pos) && Events) Events->VariableUpdated(v);
    pos += fifo_[pos].span;  // a failed or mismatched result does not shift the ones after it
  }
  if (browsing_ && (browseStep_ == 9 || browseStep_ == 10)) SetBrowseStep(0);
  if (Events) Events->Trace("READ");
  return true;
}

void TMMSobject::BeginWrite() { writeList_.clear(); }

void TMMSobject::AddWriteInteger(TMMSvar* v, std::int64_t x) {
  writeList_.emplace_back(v, std::make_unique<TASNInteger>(kContext, x, 5));
}
void TMMSobject::AddWriteBoolean(TMMSvar* v, bool x) {
  writeList_.emplace_back(v, std::make_unique<TASNboolean>(kContext, x, 3));
}
void TMMSobject::AddWriteBitString(TMMSvar* v, int bits, const std::uint8_t* octets) {
  writeList_.emplace_back(v, std::make_unique<TASNBitString>(kContext, bits, octets, 4));
}
void TMMSobject::AddWriteUnsigned(TMMSvar* v, std::uint64_t x) {
  writeList_.emplace_back(v, std::make_unique<TASNUnsigned>(kContext, static_cast<std::int64_t>(x), 6));
}
void TMMSobject::AddWriteVisibleString(TMMSvar* v, std::string_view s) {
  writeList_.emplace_back(v, std::make_unique<TASNVisibleString>(kContext, s, 10));
}
void TMMSobject::AddWriteMmsString(TMMSvar* v, std::string_view utf8) {
  // An MMS string (Unicode, UTF-8 on the wire) has its own tag; servers refuse it as a
  // visible string.
  writeList_.emplace_back(v, std::make_unique<TASNVisibleString>(kContext, utf8, 16));
}
void TMMSobject::AddWriteOctetString(TMMSvar* v, const std::uint8_t* d, std::size_t n) {
  writeList_.emplace_back(v, std::make_unique<TASNOctetString>(kContext, n, d, 9));
}
void TMMSobject::AddWriteFloat(TMMSvar* v, double x) {
  // A node known to be 32 bits wide gets a single-precision value: servers refuse a value
  // whose format differs from the attribute's.
  std::uint8_t b[9];
  std::size_t n;
  if (v && v->Type == kMmsFloat && v->Size == 32) {
    float f = static_cast<float>(x);
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    b[0] = 8;
    for (int i = 0; i < 4; ++i) b[1 + i] = static_cast<std::uint8_t>(u >> (24 - 8 * i));
    n = 5;
  } else {
    std::uint64_t u;
    std::memcpy(&u, &x, 8);
    b[0] = 11;
    for (int i = 0; i < 8; ++i) b[1 + i] = static_cast<std::uint8_t>(u >> (56 - 8 * i));
    n = 9;
  }
  writeList_.emplace_back(v, std::make_unique<TASNOctetString>(kContext, n, b, 7));
}

bool TMMSobject::AddWriteText(TMMSvar* v, std::string_view text) {
  std::string t(text);
  char* end = nullptr;
  errno = 0;
  switch (v->Type) {
    case kMmsBoolean:
      if (t == "true" || t == "1") AddWriteBoolean(v, true);
      else if (t == "false" || t == "0") AddWriteBoolean(v, false);
      else return false;
      return true;
    case kMmsInteger: {
      long long x = std::strtoll(t.c_str(), &end, 10);
      if (t.empty() || *end || errno) return false;
      AddWriteInteger(v, x);
      return true;
    }
    case kMmsUnsigned: {
      if (t.empty() || t[0] == '-') return false;
      unsigned long long x = std::strtoull(t.c_str(), &end, 10);
      if (*end || errno) return false;
      AddWriteUnsigned(v, x);
      return true;
    }
    case kMmsFloat: {
      double x = std::strtod(t.c_str(), &end);
      if (t.empty() || *end || !std::isfinite(x)) return false;
      AddWriteFloat(v, x);
      return true;
    }
    case kMmsVisibleString:
      AddWriteVisibleString(v, t);
      return true;
    case kMmsString:
      AddWriteMmsString(v, t);
      return true;
    case kMmsBitString:
    case kMmsBooleanArray: {
      if (t.empty() || t.size() > 4096 || t.find_first_not_of("01") != std::string::npos) return false;
      std::vector<std::uint8_t> o((t.size() + 7) / 8, 0);
      for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i] == '1') o[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
      AddWriteBitString(v, static_cast<int>(t.size()), o.data());
      return true;
    }
    case kMmsOctetString: {
      std::vector<std::uint8_t> o;
      std::string hex;
      for (char ch : t)
        if (ch != ' ') hex += ch;
      if (hex.size() % 2) return false;
      for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned x;
        if (std::sscanf(hex.c_str() + i, "%2x", &x) != 1 || !std::isxdigit((unsigned char)hex[i]) ||
            !std::isxdigit((unsigned char)hex[i + 1]))
          return false;
        o.push_back(static_cast<std::uint8_t>(x));
      }
      AddWriteOctetString(v, o.data(), o.size());
      return true;
    }
    default:
      return false;
  }
}

bool TMMSobject::SendWrite() {
  if (mmsState_ != kMmsAssociated || writeList_.empty() || writeOutstanding_) return false;
  std::vector<TMMSvar*> vars;
  auto body = std::make_unique<TASNSequence>(kContext, 5);
  for (auto& w : writeList_) vars.push_back(w.first);
  AddVariableList(*body, vars, 0);
  auto* data = body->Add<TASNSequence>(kContext, 0);
  for (auto& w : writeList_) data->Add(std::move(w.second));
  writeList_.clear();
  auto req = std::make_unique<TConfirmedServiceRequest>();
  req->Vars = vars;
  if (!SendRequest(std::move(req), std::move(body))) return false;
  writeOutstanding_ = true;
  return true;
}

bool TMMSobject::OnWrite(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n) {
  writeOutstanding_ = false;
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  std::size_t i = 0;
  while (r.Next(h, c)) {
    int code = 255;
    if (h.tagClass == kContext && h.tag == 0) {
      std::int64_t v;
      code = ReadInt(c, h.length, v) ? static_cast<int>(v) : -1;
    } else if (!(h.tagClass == kContext && h.tag == 1)) {
      return false;
    }
    if (i < req.Vars.size()) NoteWriteResult(req.Vars[i], code);
    if (i < req.Vars.size() && Events) Events->WriteResult(req.Vars[i], code);
    ++i;
  }
  return !r.Failed();
}

bool TMMSobject::GetVariableAttributes(TMMSvar* v) {
  if (mmsState_ != kMmsAssociated || !v || v->Domain || !v->Parent) return false;
  auto body = std::make_unique<TASNStructured>(kContext, 6);
  AddObjectName(*body, v, 0);
  auto req = std::make_unique<TConfirmedServiceRequest>();
  req->Vars = {v};
  return SendRequest(std::move(req), std::move(body));
}

bool TMMSobject::BuildType(TMMSvar& node, const std::uint8_t* typeSpec, std::size_t length, int depth) {
  TBerHeader h;
  if (depth > kMaxBerDepth || !ParseHeader(typeSpec, length, h) || h.tagClass != kContext) return false;
  const std::uint8_t* c = typeSpec + h.headerSize;
  node.Size = 0;
  node.Type = static_cast<std::uint8_t>(h.tag >= 1 && h.tag <= 17 ? h.tag : 0);
  switch (h.tag) {
    case 1: {  // array { [0] packed, [1] numberOfElements, [2] elementType }
      TBerReader r(c, h.length);
      TBerHeader e;
      const std::uint8_t* ec;
      std::int64_t count = 0;
      const std::uint8_t* elem = nullptr;
      std::size_t elemLen = 0;
      while (r.Next(e, ec)) {
        if (e.tag == 1 && !ReadInt(ec, e.length, count)) return false;
        if (e.tag == 2) {
          elem = ec;
          elemLen = e.length;
        }
      }
      if (r.Failed() || !elem || count < 0) return false;
      for (auto& old : node.Children) ForgetNodes(old.get()), nodeCount_ -= old->CountNodes();
      node.Children.clear();
      node.Size = static_cast<std::int32_t>(count);
      std::int64_t make = std::min<std::int64_t>(count, kMaxArrayElements);
      for (std::int64_t i = 0; i < make && nodeCount_ < kMaxModelNodes; ++i) {
        TMMSvar* ch = node.AddChild(dict_.Add(std::to_string(i)));
        InitNode(*ch, dict_);
        ++nodeCount_;
        if (!BuildType(*ch, elem, elemLen, depth + 1)) return false;
      }
      return true;
    }
    case 2: {  // structure { [0] packed, [1] components SEQUENCE OF { [0] name, [1] type } }
      TBerReader r(c, h.length);
      TBerHeader e;
      const std::uint8_t* ec;
      std::vector<std::unique_ptr<TMMSvar>> old;
      old.swap(node.Children);
      bool ok = true;
      while (ok && r.Next(e, ec)) {
        if (e.tag != 1) continue;
        TBerReader comps(ec, e.length);
        TBerHeader comp;
        const std::uint8_t* cc;
        while (ok && comps.Next(comp, cc)) {
          TBerReader f(cc, comp.length);
          TBerHeader fh;
          const std::uint8_t* fc;
          std::string name;
          const std::uint8_t* type = nullptr;
          std::size_t typeLen = 0;
          while (f.Next(fh, fc)) {
            if (fh.tag == 0) name = Text(fc, fh.length);
            if (fh.tag == 1) type = fc, typeLen = fh.length;
          }
          if (f.Failed() || !type || name.empty() || name.size() > 64) {
            ok = false;
            break;
          }
          std::uint32_t idx = dict_.Add(name);
          std::unique_ptr<TMMSvar> child;
          for (auto& o : old)
            if (o && o->Name == idx) {
              child = std::move(o);
              break;
            }
          if (!child) {
            if (nodeCount_ >= kMaxModelNodes) {
              ok = false;
              break;
            }
            child = std::make_unique<TMMSvar>(idx, &node);
            ++nodeCount_;
          }
          node.Children.push_back(std::move(child));
          TMMSvar& ch = *node.Children.back();
          InitNode(ch, dict_);
          ok = BuildType(ch, type, typeLen, depth + 1);
        }
        if (comps.Failed()) ok = false;
      }
      if (r.Failed()) ok = false;
      for (auto& o : old)
        if (o) {
          ForgetNodes(o.get());
          nodeCount_ -= o->CountNodes();
        }
      return ok;
    }
    case 7: {  // floating point { format width, exponent width }
      TBerReader r(c, h.length);
      TBerHeader e;
      const std::uint8_t* ec;
      std::int64_t w = 0;
      if (r.Next(e, ec) && ReadInt(ec, e.length, w)) node.Size = static_cast<std::int32_t>(w);
      return true;
    }
    case 4: case 5: case 6: case 9: case 10: case 13: case 16: {
      std::int64_t s = 0;
      if (h.length && ReadInt(c, h.length, s)) node.Size = static_cast<std::int32_t>(s < 0 ? -s : s);
      return true;
    }
    default:
      return true;
  }
}

bool TMMSobject::OnGetVarAttributes(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n) {
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  bool ok = false;
  while (r.Next(h, c))
    if (h.tagClass == kContext && h.tag == 2 && !req.Vars.empty()) ok = BuildType(*req.Vars[0], c, h.length, 0);
  if (browsing_ && browseStep_ == 5 && ok) SetBrowseStep(0);
  return ok && !r.Failed();
}

bool TMMSobject::OnGetNameList(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n) {
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  std::vector<std::string> names;
  bool more = true, haveList = false;
  while (r.Next(h, c)) {
    if (h.tagClass != kContext) continue;
    if (h.tag == 0) {
      haveList = true;
      TBerReader l(c, h.length);
      TBerHeader e;
      const std::uint8_t* ec;
      while (l.Next(e, ec))
        if (e.length <= 255) names.push_back(Text(ec, e.length));
      if (l.Failed()) return false;
    } else if (h.tag == 1) {
      more = h.length == 1 && c[0] != 0;
    }
  }
  if (r.Failed() || !haveList) return false;
  std::vector<std::string>* list = nullptr;
  TMMSdomain* dom = nullptr;
  switch (req.NameListKind) {
    case kListDomains: list = nullptr; break;
    case kListDomainVars:
    case kListDomainLists:
      if (req.DomainIndex < 0 || req.DomainIndex >= (int)domains_.size()) return true;
      dom = &domains_[req.DomainIndex];
      list = req.NameListKind == kListDomainVars ? &dom->VarNames : &dom->ListNames;
      break;
    case kListVmdLists: list = &vmd_.ListNames; break;
    default: return true;
  }
  std::size_t have = list ? list->size() : domains_.size();
  for (auto& nm : names) {
    if (have++ >= kMaxNames) break;
    if (list)
      list->push_back(nm);
    else {
      TMMSdomain nd;
      nd.Name = nm;
      domains_.push_back(std::move(nd));
    }
  }
  // Absent moreFollows means more; an empty page or a repeated continuation ends the list, so
  // a server cannot keep the client asking forever.
  if (more && !names.empty() && names.back() != req.Related && have < kMaxNames) {
    int objectClass = req.NameListKind == kListDomains ? 9 : (req.NameListKind == (int)kListDomainVars ? 0 : 2);
    return SendGetNameList(objectClass, req.DomainIndex, req.NameListKind, names.back()) || true;
  }
  switch (req.NameListKind) {
    case kListDomains: domainsLoaded_ = true; break;
    case kListDomainVars: dom->VarsLoaded = true; break;
    case kListDomainLists: dom->ListsLoaded = true; break;
    case kListVmdLists: vmd_.ListsLoaded = true; break;
  }
  if (browsing_) SetBrowseStep(0);
  return true;
}

TMMSvar* TMMSobject::ResolveName(std::string_view domain, std::string_view item) {
  TMMSvar* at = nullptr;
  std::string_view dname = domain.empty() ? std::string_view(kVmdDomain) : domain;
  std::int64_t di = dict_.Find(dname);
  if (di < 0) return nullptr;
  at = root_->FindChild(static_cast<std::uint32_t>(di));
  std::size_t i = 0;
  while (at && i <= item.size()) {
    std::size_t j = item.find('$', i);
    if (j == std::string_view::npos) j = item.size();
    std::int64_t idx = dict_.Find(item.substr(i, j - i));
    at = idx >= 0 ? at->FindChild(static_cast<std::uint32_t>(idx)) : nullptr;
    i = j + 1;
  }
  return at;
}

TMMSvar* TMMSobject::FindVariable(std::string_view ref) {
  std::size_t slash = ref.find('/');
  if (slash == std::string_view::npos) return ResolveName("", ref);
  return ResolveName(ref.substr(0, slash), ref.substr(slash + 1));
}

TDataSet* TMMSobject::FindDataSet(std::string_view ref) {
  for (auto& d : dataSets_)
    if (d->Name == ref || d->Domain + "/" + d->Name == ref) return d.get();
  return nullptr;
}

std::string TMMSobject::Reference(const TMMSvar* v) const {
  const TMMSvar* dom = v->DomainNode();
  std::string s = v->FullName(dict_);
  if (dom && dict_[dom->Name] != kVmdDomain) s = dict_[dom->Name] + "/" + s;
  return s;
}

bool TMMSobject::GetDataSetMembers(TDataSet* ds) {
  if (mmsState_ != kMmsAssociated || !ds) return false;
  auto body = std::make_unique<TASNStructured>(kContext, 12);
  if (!ds->Domain.empty() && ds->Domain != kVmdDomain) {
    auto* dn = body->Add<TASNSequence>(kContext, 1);
    dn->Add<TASNVisibleString>(kUniversal, ds->Domain, 26);
    dn->Add<TASNVisibleString>(kUniversal, ds->Name, 26);
  } else {
    body->Add<TASNVisibleString>(kContext, ds->Name, 0);
  }
  auto req = std::make_unique<TConfirmedServiceRequest>();
  req->DataSet = ds;
  return SendRequest(std::move(req), std::move(body));
}

bool TMMSobject::OnGetNamedListAttributes(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n) {
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  bool haveList = false;
  TDataSet* ds = req.DataSet;
  while (r.Next(h, c)) {
    if (h.tagClass != kContext || h.tag != 1) continue;
    haveList = true;
    TBerReader l(c, h.length);
    TBerHeader e;
    const std::uint8_t* ec;
    while (l.Next(e, ec)) {  // SEQUENCE { [0] name { ObjectName }, [5] alternate access }
      TBerReader vs(ec, e.length);
      TBerHeader f;
      const std::uint8_t* fc;
      if (!vs.Next(f, fc) || f.tag != 0) continue;
      TBerReader on(fc, f.length);
      TBerHeader g;
      const std::uint8_t* gc;
      std::string dom, item;
      if (!on.Next(g, gc) || !ParseObjectName(g, gc, dom, item)) continue;
      if (!ds) continue;
      std::string ref = (dom.empty() ? std::string() : dom + "/") + item;
      if (std::find(ds->MemberNames.begin(), ds->MemberNames.end(), ref) == ds->MemberNames.end()) {
        if (ds->MemberNames.size() >= kMaxNames) break;
        ds->MemberNames.push_back(ref);
        if (TMMSvar* v = ResolveName(dom, item)) ds->Members.push_back(v);
      }
    }
    if (l.Failed()) return false;
  }
  if (r.Failed() || !haveList) return false;
  if (ds) ds->Read = true;
  if (browsing_ && browseStep_ == 4) SetBrowseStep(0);
  return true;
}

bool TMMSobject::DefineDataSet(TDataSet* ds) {
  if (mmsState_ != kMmsAssociated || !ds || ds->Members.empty()) return false;
  auto body = std::make_unique<TASNSequence>(kContext, 11);
  body->Add<TASNVisibleString>(kContext, ds->Name, 2);
  AddVariableList(*body, ds->Members, 0);
  auto req = std::make_unique<TConfirmedServiceRequest>();
  req->DataSet = ds;
  return SendRequest(std::move(req), std::move(body));
}

bool TMMSobject::ListDirectory(std::string_view path) {
  if (mmsState_ != kMmsAssociated || directoryPending_) return false;
  directory_.clear();
  auto body = std::make_unique<TASNSequence>(kContext, 77);
  if (!path.empty()) body->Add<TASNSequence>(kContext, 0)->Add<TASNVisibleString>(kUniversal, path, 25);
  auto req = std::make_unique<TConfirmedServiceRequest>();
  req->Related = std::string(path);
  if (!SendRequest(std::move(req), std::move(body))) return false;
  directoryPending_ = true;
  return true;
}

bool TMMSobject::OnFileDirectory(TConfirmedServiceRequest& req, const std::uint8_t* d, std::size_t n) {
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  bool more = false, haveList = false;
  // One directory entry: SEQUENCE { [0] file name (GraphicStrings), [1] { [0] size, [1] time } }.
  auto addEntry = [&](const std::uint8_t* ec, std::size_t len) {
    TDirectoryEntry de;
    TBerReader f(ec, len);
    TBerHeader fh;
    const std::uint8_t* fc;
    while (f.Next(fh, fc)) {
      if (fh.tagClass != kContext) continue;
      if (fh.tag == 0) {
        TBerReader names(fc, fh.length);
        TBerHeader nh;
        const std::uint8_t* nc;
        while (names.Next(nh, nc)) de.Name += Text(nc, nh.length);
        if (names.Failed()) return false;
      } else if (fh.tag == 1) {
        TBerReader attrs(fc, fh.length);
        TBerHeader ah;
        const std::uint8_t* ac;
        while (attrs.Next(ah, ac)) {
          std::int64_t v;
          if (ah.tag == 0 && ReadInt(ac, ah.length, v) && v >= 0) de.Size = static_cast<std::uint64_t>(v);
          if (ah.tag == 1) {
            TASNGeneralizedTime t(kContext, 1);
            if (t.DecodeContents(ac, ah.length)) de.Modified = t.DateTime();
          }
        }
      }
    }
    if (f.Failed() || de.Name.empty()) return false;
    if (directory_.size() < kMaxNames) directory_.push_back(std::move(de));
    return true;
  };
  bool bad = false;
  while (!bad && r.Next(h, c)) {
    if (h.tagClass != kContext) continue;
    if (h.tag == 1) more = h.length == 1 && c[0] != 0;
    if (h.tag != 0) continue;
    haveList = true;
    // [0] holds a SEQUENCE OF whose elements are the entries. An entry itself begins with its
    // [0] name, so a list sent without that wrapper is told apart and read as well.
    TBerReader l(c, h.length);
    TBerHeader e;
    const std::uint8_t* ec;
    while (!bad && l.Next(e, ec)) {
      if (e.tagClass != kUniversal || e.tag != 16) {
        bad = true;
        break;
      }
      TBerReader inner(ec, e.length);
      TBerHeader first;
      const std::uint8_t* fc;
      bool wrapper = inner.Next(first, fc) && first.tagClass == kUniversal && first.tag == 16;
      if (!wrapper) {
        if (e.length && !addEntry(ec, e.length)) bad = true;
        continue;
      }
      TBerReader entries(ec, e.length);
      TBerHeader eh;
      const std::uint8_t* eec;
      while (!bad && entries.Next(eh, eec))
        if (eh.tagClass != kUniversal || eh.tag != 16 || !addEntry(eec, eh.length)) bad = true;
      if (entries.Failed()) bad = true;
    }
    if (l.Failed()) bad = true;
  }
  if (bad || r.Failed() || !haveList) {
    directoryPending_ = false;
    if (Events) Events->DirectoryComplete(false);
    return false;
  }
  // Related holds the path, then "\n" and the name a continuation started after.
  std::size_t cut = req.Related.find('\n');
  std::string path = req.Related.substr(0, cut);
  std::string after = cut == std::string::npos ? std::string() : req.Related.substr(cut + 1);
  if (more && !directory_.empty() && directory_.back().Name != after && directory_.size() < kMaxNames) {
    auto body = std::make_unique<TASNSequence>(kContext, 77);
    if (!path.empty()) body->Add<TASNSequence>(kContext, 0)->Add<TASNVisibleString>(kUniversal, path, 25);
    body->Add<TASNSequence>(kContext, 1)->Add<TASNVisibleString>(kUniversal, directory_.back().Name, 25);
    auto next = std::make_unique<TConfirmedServiceRequest>();
    next->Related = path + "\n" + directory_.back().Name;
    if (SendRequest(std::move(next), std::move(body))) return true;
  }
  directoryPending_ = false;
  if (Events) Events->DirectoryComplete(true);
  return true;
}

bool TMMSobject::StartDownload(std::string_view remote) {
  if (mmsState_ != kMmsAssociated || download_.active || remote.empty()) return false;
  auto body = std::make_unique<TASNSequence>(kContext, 72);
  body->Add<TASNSequence>(kContext, 0)->Add<TASNVisibleString>(kUniversal, remote, 25);
  body->Add<TASNUnsigned>(kContext, 0, 1);
  auto req = std::make_unique<TConfirmedServiceRequest>();
  req->Related = std::string(remote);
  if (!SendRequest(std::move(req), std::move(body))) return false;
  download_.active = true;
  download_.remote = std::string(remote);
  download_.received = download_.size = 0;
  download_.frsm = -1;
  return true;
}

bool TMMSobject::DownloadFile(std::string_view remote, std::string_view local) {
  std::string target(local);
  if (target.empty()) {
    std::string name(remote);
    std::replace(name.begin(), name.end(), '\\', '/');
    name = name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
    if (name.empty() || name == "." || name == "..") return false;
    MakeDirs(DownloadFolder);
    target = DownloadFolder + "/" + name;
  }
  if (!StartDownload(remote)) return false;
  download_.toMemory = false;
  download_.local = target;
  return true;
}

bool TMMSobject::DownloadToMemory(std::string_view remote) {
  if (!StartDownload(remote)) return false;
  download_.toMemory = true;
  memData_.clear();
  return true;
}

void TMMSobject::FinishDownload(bool ok) {
  if (download_.file) {
    if (std::fflush(download_.file) != 0 || ::fsync(::fileno(download_.file)) != 0) ok = false;
    if (std::fclose(download_.file) != 0) ok = false;
    download_.file = nullptr;
    // The file arrives beside its target and replaces it only whole: an interrupted download
    // leaves an existing file as it was.
    if (ok && std::rename(download_.temp.c_str(), download_.local.c_str()) != 0) ok = false;
    if (!ok) std::remove(download_.temp.c_str());
    download_.temp.clear();
  }
  download_.active = false;
  if (ok && Events) Events->FileProgress(download_.received, download_.received);
  if (Events) Events->FileComplete(ok);
}

bool TMMSobject::OnFileOpen(TConfirmedServiceRequest&, const std::uint8_t* d, std::size_t n) {
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  std::int64_t frsm = -1, size = 0;
  while (r.Next(h, c)) {
    if (h.tag == 0 && !ReadInt(c, h.length, frsm)) return false;
    if (h.tag == 1) {
      TBerReader a(c, h.length);
      TBerHeader ah;
      const std::uint8_t* ac;
      while (a.Next(ah, ac))
        if (ah.tag == 0) ReadInt(ac, ah.length, size);
    }
  }
  if (r.Failed() || frsm < 0 || !download_.active) return false;
  download_.frsm = frsm;
  download_.size = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  if (!download_.toMemory) {
    download_.temp = download_.local + ".XXXXXX";
    int fd = ::mkstemp(download_.temp.data());
    download_.file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!download_.file) {
      if (fd >= 0) {
        ::close(fd);
        std::remove(download_.temp.c_str());
      }
      download_.temp.clear();
      // The local file cannot be created: close the remote one and report the failure.
      SendRequest(std::make_unique<TConfirmedServiceRequest>(), std::make_unique<TASNInteger>(kContext, frsm, 74));
      FinishDownload(false);
      return true;
    }
  }
  SendRequest(std::make_unique<TConfirmedServiceRequest>(), std::make_unique<TASNInteger>(kContext, frsm, 73));
  return true;
}

bool TMMSobject::OnFileRead(TConfirmedServiceRequest&, const std::uint8_t* d, std::size_t n) {
  if (!download_.active) return true;
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  bool more = true, haveData = false;
  const std::uint8_t* data = nullptr;
  std::size_t len = 0;
  while (r.Next(h, c)) {
    if (h.tag == 0) data = c, len = h.length, haveData = true;
    if (h.tag == 1) more = h.length == 1 && c[0] != 0;
  }
  if (r.Failed() || !haveData) {
    FinishDownload(false);
    return false;
  }
  bool ok = true;
  if (download_.toMemory) {
    if (memData_.size() + len > (64u << 20)) ok = false;  // memory downloads are models, never this large
    else memData_.insert(memData_.end(), data, data + len);
  } else if (len && std::fwrite(data, 1, len, download_.file) != len) {
    ok = false;
  }
  download_.received += len;
  if (Events) Events->FileProgress(download_.received, download_.size);
  // An empty piece that announces more would never end: treat it as the last one.
  if (ok && more && len > 0) {
    SendRequest(std::make_unique<TConfirmedServiceRequest>(),
                std::make_unique<TASNInteger>(kContext, download_.frsm, 73));
    return true;
  }
  SendRequest(std::make_unique<TConfirmedServiceRequest>(), std::make_unique<TASNInteger>(kContext, download_.frsm, 74));
  FinishDownload(ok);
  return true;
}

}  // namespace t32
