// ISO 8650 ACSE kernel.
#include "iec61850/acse.h"

namespace t32 {

const TOidArcs& acse::MmsContextName() {
  static const TOidArcs k = MakeOid({1, 0, 9506, 2, 3});
  return k;
}

bool acse::BuildAARQ(const TAcseParams& p, const std::uint8_t* user, std::size_t n, std::vector<std::uint8_t>& out) {
  TASNSequence aarq(kApplication, 0);
  const std::uint8_t version[] = {0x80};
  aarq.Add<TASNBitString>(kContext, 1, version, 0);
  aarq.Add<TASNStructured>(kContext, 1)->Add<TASNObjectIdentifier>(kUniversal, MmsContextName(), 6);
  aarq.Add<TASNStructured>(kContext, 2)->Add<TASNObjectIdentifier>(kUniversal, p.CalledAPTitle, 6);
  aarq.Add<TASNStructured>(kContext, 3)->Add<TASNInteger>(kUniversal, p.CalledAEQualifier, 2);
  aarq.Add<TASNStructured>(kContext, 4)->Add<TASNInteger>(kUniversal, p.CalledAPInvocation, 2);
  aarq.Add<TASNStructured>(kContext, 5)->Add<TASNInteger>(kUniversal, p.CalledAEInvocation, 2);
  aarq.Add<TASNStructured>(kContext, 6)->Add<TASNObjectIdentifier>(kUniversal, p.CallingAPTitle, 6);
  aarq.Add<TASNStructured>(kContext, 7)->Add<TASNInteger>(kUniversal, p.CallingAEQualifier, 2);
  aarq.Add<TASNStructured>(kContext, 8)->Add<TASNInteger>(kUniversal, p.CallingAPInvocation, 2);
  aarq.Add<TASNStructured>(kContext, 9)->Add<TASNInteger>(kUniversal, p.CallingAEInvocation, 2);
  auto* external = aarq.Add<TASNStructured>(kContext, 30)->Add<TASNSequence>(kUniversal, 8);
  external->Add<TASNObjectIdentifier>(kUniversal, MakeOid({2, 1, 1}), 6);
  external->Add<TASNInteger>(kUniversal, presentation::kMmsContext, 2);
  external->Add<TASNStructuredOctetString>(kContext, n, user, 0);
  TBerEncoder enc;
  enc.BeginEncode();
  if (!aarq.Encode(enc)) return false;
  out.assign(enc.Data(), enc.Data() + enc.EncodedLength());
  return true;
}

bool acse::ParseAARE(const std::uint8_t* data, std::size_t length, TAare& out) {
  out = TAare{};
  TBerHeader h;
  if (!ParseHeader(data, length, h) || h.tagClass != kApplication || h.tag != 1) return false;
  TBerReader r(data + h.headerSize, h.length);
  TBerHeader e;
  const std::uint8_t* c;
  bool haveContext = false;
  while (r.Next(e, c)) {
    if (e.tagClass != kContext) continue;
    TBerReader inner(c, e.length);
    TBerHeader f;
    const std::uint8_t* fc;
    if (e.tag == 1) {
      TASNObjectIdentifier oid(kUniversal, {}, 6);
      if (!inner.Next(f, fc) || f.tag != 6 || !oid.DecodeContents(fc, f.length)) return false;
      out.context = oid.Arcs();
      haveContext = true;
    } else if (e.tag == 2) {
      TASNInteger v(kUniversal, -1, 2);
      if (inner.Next(f, fc) && f.tag == 2 && v.DecodeContents(fc, f.length)) out.result = v.Value();
    } else if (e.tag == 30) {
      // Association information: the first EXTERNAL; its [0] single-ASN1-type is the MMS PDU.
      if (!inner.Next(f, fc) || f.tagClass != kUniversal || f.tag != 8) return false;
      TBerReader ext(fc, f.length);
      TBerHeader g;
      const std::uint8_t* gc;
      while (ext.Next(g, gc)) {
        if (g.tagClass == kContext && (g.tag == 0 || g.tag == 1)) {
          out.user = gc;
          out.userLength = g.length;
        }
      }
      if (ext.Failed()) return false;
    }
    if (inner.Failed()) return false;
  }
  return !r.Failed() && haveContext;
}

void TACSEobject::Tick(TTime now) {
  TPresentationObject::Tick(now);
  if (CotpState() != kCotpConnected) {
    if (acseState_ != kAcseIdle) SetAcseState(kAcseIdle);
    return;
  }
  if (acseState_ == kAcseConnecting && WholeSeconds(aarqSent_, Now()) > ConnectTimeout) SetAcseState(kAcseRefused);
}

bool TACSEobject::Send(const std::uint8_t* data, std::size_t length) {
  if (length == 0) return false;
  if (acseState_ == kAcseConnected) {
    NextContext = presentation::kMmsContext;
    return TPresentationObject::Send(data, length);
  }
  NextContext = presentation::kAcseContext;
  if (!acse::BuildAARQ(Acse, data, length, buf_)) return false;
  bool ok = TPresentationObject::Send(buf_.data(), buf_.size());
  if (ok) {
    aarqSent_ = Now();
    SetAcseState(kAcseConnecting);
  }
  return ok;
}

bool TACSEobject::DeliverTSDU(const std::uint8_t*& data, std::size_t& length) {
  if (!TPresentationObject::DeliverTSDU(data, length)) return false;
  if (ContextId() == presentation::kAcseContext && acseState_ == kAcseConnecting) {
    acse::TAare aare;
    // The application context must be MMS and the association accepted; a rejected AARE
    // is a refusal even though it is well formed.
    if (!acse::ParseAARE(data, length, aare) || !(aare.context == acse::MmsContextName()) || aare.result != 0) {
      SetAcseState(kAcseRefused);
      ConnectionRefused("ACSE");
      return false;
    }
    SetAcseState(kAcseConnected);
    data = aare.user;
    length = aare.userLength;
    return length > 0;
  }
  if (ContextId() == presentation::kAcseContext) {
    // Release or abort PDUs in the ACSE context end the association.
    ProtocolError("ACSE");
    return false;
  }
  return true;
}

}  // namespace t32
