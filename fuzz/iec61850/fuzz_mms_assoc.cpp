// Arbitrary bytes arriving on an established association (after a model load has requests
// outstanding). The first input byte chooses whether the rest goes onto the TCP stream as is
// or is wrapped as one MMS PDU in correct TPKT, COTP, session and presentation framing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "iec61850/mmsclient.h"

using namespace t32;

namespace {

using Bytes = std::string;
Bytes Len(std::size_t n) {
  if (n < 128) return Bytes(1, char(n));
  if (n < 256) return Bytes{char(0x81), char(n)};
  return Bytes{char(0x82), char(n >> 8), char(n & 0xFF)};
}
Bytes T(std::uint8_t tag, const Bytes& c) { return Bytes(1, char(tag)) + Len(c.size()) + c; }
Bytes I(std::uint8_t tag, int v) { return T(tag, Bytes(1, char(v))); }

Bytes Tpkts(const Bytes& tsdu) {
  Bytes out;
  const std::size_t max = 1021;
  for (std::size_t pos = 0; pos < tsdu.size() || pos == 0; pos += max) {
    Bytes dt = Bytes{2, char(0xF0), char(pos + max >= tsdu.size() ? 0x80 : 0)} + tsdu.substr(pos, max);
    std::size_t total = dt.size() + 4;
    out += Bytes{3, 0, char(total >> 8), char(total & 0xFF)} + dt;
    if (tsdu.empty()) break;
  }
  return out;
}

class TFuzzClient : public TMMSobject {
 public:
  TFuzzClient() {
    Main.Ip[0] = 127;
    Main.Ip[3] = 1;
    ApplyAddress();
    SetState(kConnected);
  }
  bool Transmit(const std::uint8_t*, std::size_t) override { return State() == kConnected; }
  void Disconnect(int) override {
    ResetCotp();
    SetState(kClosed);
  }
  void Feed(const Bytes& b) { Receive(reinterpret_cast<const std::uint8_t*>(b.data()), b.size()); }
};

// A configured report "R" on data set LD/DS of two members, so that information reports
// get past the RptID look-up.
void AddReportModel(TMMSobject& c) {
  auto& d = c.Dictionary();
  auto root = std::make_unique<TMMSvar>(d.Add("VMD"), nullptr);
  TMMSvar* dom = root->AddChild(d.Add("LD"));
  dom->Domain = true;
  TMMSvar* st = dom->AddChild(d.Add("LLN0"))->AddChild(d.Add("ST"));
  st->Type = kMmsStructure;
  TMMSvar* x = st->AddChild(d.Add("x"));
  x->Type = kMmsBoolean;
  TMMSvar* s = st->AddChild(d.Add("s"));
  s->Type = kMmsStructure;
  s->AddChild(d.Add("f"))->Type = kMmsFloat;
  std::vector<std::unique_ptr<TDataSet>> sets;
  sets.push_back(std::make_unique<TDataSet>());
  sets[0]->Name = "DS";
  sets[0]->Domain = "LD";
  sets[0]->Members = {x, s};
  TMMSReportList reports;
  TMMSReportParam* r = reports.Add();
  r->RptID = "R";
  r->DatSet = "LD/DS";
  r->Buffered = true;
  c.AdoptModel(std::move(root), std::move(sets), std::move(reports), TGCBList{});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  TFuzzClient c;
  AddReportModel(c);
  TTime now = TClock::now();
  c.Tick(now);  // CR goes out
  c.Feed(Bytes{3, 0, 0, 14, 9, char(0xD0), 0, 1, 0, 2, 0, char(0xC0), 1, 0x0A});
  c.Tick(now);  // initiate goes out
  Bytes initiate = T(0xA9, I(0x81, 5) + I(0x82, 5) + I(0x83, 4) +
                               T(0xA4, I(0x80, 1) + T(0x81, Bytes{5, char(0xF1), 0}) +
                                           T(0x82, Bytes{3, char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF),
                                                         char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), 0})));
  Bytes aare = T(0x61, T(0xA1, Bytes{6, 5, 0x28, char(0xCA), 0x22, 2, 3}) + T(0xA2, I(0x02, 0)) +
                           T(0xBE, T(0x28, I(0x02, 3) + T(0xA0, initiate))));
  Bytes result = T(0x30, I(0x80, 0));
  Bytes cpa = T(0x31, T(0xA0, I(0x80, 1)) + T(0xA2, T(0xA5, result + result) + T(0x61, T(0x30, I(0x02, 1) + T(0xA0, aare)))));
  Bytes params = Bytes{0x05, 0x06, 0x13, 0x01, 0x00, 0x16, 0x01, 0x02, char(0xC1)} + Len(cpa.size()) + cpa;
  c.Feed(Tpkts(Bytes{0x0E, char(params.size())} + params));
  c.Tick(now);
  if (c.MMSState() != TMMSobject::kMmsAssociated) __builtin_trap();  // the handshake above must hold
  c.LoadModel();
  c.Tick(now);  // GetNameList of domains outstanding (invoke id 1)
  c.ListDirectory("");
  c.DownloadToMemory("f");
  Bytes rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1)
    c.Feed(rest);
  else
    c.Feed(Tpkts(Bytes{1, 0, 1, 0} + T(0x61, T(0x30, I(0x02, 3) + T(0xA0, rest)))));
  for (int i = 0; i < 4; ++i) c.Tick(now);
  return 0;
}
