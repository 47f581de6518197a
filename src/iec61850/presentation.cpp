// ISO 8823 presentation kernel.
#include "iec61850/presentation.h"

#include "iec61850/ber.h"

namespace t32 {

namespace {
const TOidArcs kBer = MakeOid({2, 1, 1});
const TOidArcs kAcseAbstract = MakeOid({2, 2, 1, 0, 1});
const TOidArcs kMmsAbstract = MakeOid({1, 0, 9506, 2, 1});

void Selector(TASNStructured& s, std::int32_t tag, std::uint32_t v) {
  std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
  s.Add<TASNOctetString>(kContext, 4, b, tag);
}

void ContextItem(TASNStructured& list, std::int64_t id, const TOidArcs& abstract) {
  auto* item = list.Add<TASNSequence>(kUniversal, 16);
  item->Add<TASNInteger>(kUniversal, id, 2);
  item->Add<TASNObjectIdentifier>(kUniversal, abstract, 6);
  auto* ts = item->Add<TASNSequence>(kUniversal, 16);
  ts->Add<TASNObjectIdentifier>(kUniversal, kBer, 6);
}

void UserData(TASNStructured& parent, std::int64_t context, const std::uint8_t* user, std::size_t n) {
  auto* fully = parent.Add<TASNSequence>(kApplication, 1);
  auto* pdv = fully->Add<TASNSequence>(kUniversal, 16);
  pdv->Add<TASNInteger>(kUniversal, context, 2);
  pdv->Add<TASNStructuredOctetString>(kContext, n, user, 0);
}

bool Finish(const TASNobject& root, std::vector<std::uint8_t>& out) {
  TBerEncoder enc;
  enc.BeginEncode();
  if (!root.Encode(enc)) return false;
  out.assign(enc.Data(), enc.Data() + enc.EncodedLength());
  return true;
}

// PDV-list: SEQUENCE { transfer syntax OPTIONAL, INTEGER context, [0] single-ASN1-type | [1] octets }
bool ParsePdv(const std::uint8_t* d, std::size_t n, std::int64_t& ctx, const std::uint8_t*& user, std::size_t& len) {
  TBerReader r(d, n);
  TBerHeader h;
  const std::uint8_t* c;
  bool haveCtx = false, haveData = false;
  while (r.Next(h, c)) {
    if (h.tagClass == kUniversal && h.tag == 2) {
      TASNInteger i(kUniversal, 0, 2);
      if (!i.DecodeContents(c, h.length)) return false;
      ctx = i.Value();
      haveCtx = true;
    } else if (h.tagClass == kContext && (h.tag == 0 || h.tag == 1)) {
      user = c;
      len = h.length;
      haveData = true;
    }
  }
  return !r.Failed() && haveCtx && haveData;
}
}  // namespace

bool presentation::BuildCP(std::uint32_t callingPsel, std::uint32_t calledPsel, const std::uint8_t* user,
                           std::size_t userLength, std::vector<std::uint8_t>& out) {
  TASNStructured cp(kUniversal, 17);
  auto* mode = cp.Add<TASNStructured>(kContext, 0);
  mode->Add<TASNInteger>(kContext, 1, 0);
  auto* normal = cp.Add<TASNSequence>(kContext, 2);
  Selector(*normal, 1, callingPsel);
  Selector(*normal, 2, calledPsel);
  auto* defs = normal->Add<TASNSequence>(kContext, 4);
  ContextItem(*defs, kAcseContext, kAcseAbstract);
  ContextItem(*defs, kMmsContext, kMmsAbstract);
  UserData(*normal, kAcseContext, user, userLength);
  return Finish(cp, out);
}

bool presentation::BuildUserData(std::int64_t context, const std::uint8_t* user, std::size_t n,
                                 std::vector<std::uint8_t>& out) {
  TASNSequence holder(kUniversal, 16);
  UserData(holder, context, user, n);
  return Finish(*holder.Components[0], out);
}

bool presentation::ParseUserData(const std::uint8_t* data, std::size_t length, std::int64_t& context,
                                 const std::uint8_t*& user, std::size_t& userLength) {
  TBerHeader h;
  if (!ParseHeader(data, length, h) || h.tagClass != kApplication || h.tag != 1) return false;
  TBerReader r(data + h.headerSize, h.length);
  TBerHeader pdv;
  const std::uint8_t* c;
  if (!r.Next(pdv, c) || pdv.tagClass != kUniversal || pdv.tag != 16) return false;
  return ParsePdv(c, pdv.length, context, user, userLength);
}

bool presentation::ParseCPA(const std::uint8_t* data, std::size_t length, std::int64_t& context,
                            const std::uint8_t*& user, std::size_t& userLength) {
  TBerHeader h;
  if (!ParseHeader(data, length, h) || h.tagClass != kUniversal || h.tag != 17) return false;
  TBerReader top(data + h.headerSize, h.length);
  TBerHeader e;
  const std::uint8_t* c;
  while (top.Next(e, c)) {
    if (e.tagClass != kContext || e.tag != 2) continue;
    TBerReader normal(c, e.length);
    TBerHeader f;
    const std::uint8_t* fc;
    int results = 0, accepted = 0;
    bool haveUser = false;
    while (normal.Next(f, fc)) {
      if (f.tagClass == kContext && f.tag == 5) {
        TBerReader list(fc, f.length);
        TBerHeader item;
        const std::uint8_t* ic;
        while (list.Next(item, ic)) {
          ++results;
          TBerReader fields(ic, item.length);
          TBerHeader rf;
          const std::uint8_t* rc;
          while (fields.Next(rf, rc)) {
            if (rf.tagClass == kContext && rf.tag == 0) {
              TASNInteger v(kContext, -1, 0);
              if (v.DecodeContents(rc, rf.length) && v.Value() == 0) ++accepted;
            }
          }
          if (fields.Failed()) return false;
        }
        if (list.Failed()) return false;
      } else if (f.tagClass == kApplication && f.tag == 1) {
        TBerReader fully(fc, f.length);
        TBerHeader pdv;
        const std::uint8_t* pc;
        if (!fully.Next(pdv, pc) || !ParsePdv(pc, pdv.length, context, user, userLength)) return false;
        haveUser = true;
      }
    }
    if (normal.Failed()) return false;
    return results == 2 && accepted == 2 && haveUser;
  }
  return false;
}

void TPresentationObject::Tick(TTime now) {
  TSessionObject::Tick(now);
  if (CotpState() != kCotpConnected) {
    if (presState_ != kPresIdle) SetPresentationState(kPresIdle);
    return;
  }
  if (presState_ == kPresConnecting && WholeSeconds(cpSent_, Now()) > ConnectTimeout) SetPresentationState(kPresRefused);
}

bool TPresentationObject::Send(const std::uint8_t* data, std::size_t length) {
  if (length == 0) return false;
  buf_.clear();
  if (presState_ != kPresConnected) {
    if (!presentation::BuildCP(CallingPSEL, CalledPSEL, data, length, buf_)) return false;
    bool ok = TSessionObject::Send(buf_.data(), buf_.size());
    if (ok) {
      cpSent_ = Now();
      SetPresentationState(kPresConnecting);
    }
    return ok;
  }
  if (!presentation::BuildUserData(NextContext, data, length, buf_)) return false;
  return TSessionObject::Send(buf_.data(), buf_.size());
}

bool TPresentationObject::DeliverTSDU(const std::uint8_t*& data, std::size_t& length) {
  if (!TSessionObject::DeliverTSDU(data, length)) return false;
  std::int64_t ctx = 0;
  const std::uint8_t* user = nullptr;
  std::size_t n = 0;
  if (presState_ == kPresConnecting) {
    if (!presentation::ParseCPA(data, length, ctx, user, n)) {
      SetPresentationState(kPresRefused);
      ConnectionRefused("PRES");
      return false;
    }
    SetPresentationState(kPresConnected);
  } else if (!presentation::ParseUserData(data, length, ctx, user, n)) {
    if (presState_ == kPresConnected) ProtocolError("PRES");
    return false;
  }
  contextId_ = ctx;
  data = user;
  length = n;
  return n > 0;
}

}  // namespace t32
