// Test MMS server: plain byte-level encodings of each standard's PDUs.
#include "iec61850/mms_test_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace t32test {

namespace {

Bytes Len(std::size_t n) {
  if (n < 128) return Bytes(1, char(n));
  if (n < 256) return Bytes{char(0x81), char(n)};
  return Bytes{char(0x82), char(n >> 8), char(n & 0xFF)};
}
Bytes T(std::uint8_t tag, const Bytes& c) { return Bytes(1, char(tag)) + Len(c.size()) + c; }
Bytes T2(std::uint8_t a, std::uint8_t b, const Bytes& c) { return Bytes{char(a), char(b)} + Len(c.size()) + c; }
Bytes IntC(std::int64_t v) {
  Bytes b;
  for (int i = 7; i >= 0; --i) b += char((std::uint64_t(v) >> (8 * i)) & 0xFF);
  while (b.size() > 1 && ((b[0] == 0 && !(b[1] & 0x80)) || (b[0] == char(0xFF) && (b[1] & 0x80)))) b.erase(0, 1);
  return b;
}
Bytes Int(std::uint8_t tag, std::int64_t v) { return T(tag, IntC(v)); }

struct El {
  int cls = 0;
  int tag = 0;
  Bytes c;
};
// Top-level elements of a buffer; ok false when malformed.
std::vector<El> Parse(const Bytes& b, bool* ok = nullptr) {
  std::vector<El> out;
  std::size_t i = 0;
  if (ok) *ok = true;
  while (i < b.size()) {
    El e;
    std::uint8_t id = b[i++];
    e.cls = id & 0xC0;
    e.tag = id & 0x1F;
    if (e.tag == 31) {
      e.tag = 0;
      while (i < b.size()) {
        std::uint8_t x = b[i++];
        e.tag = (e.tag << 7) | (x & 0x7F);
        if (!(x & 0x80)) break;
      }
    }
    if (i >= b.size()) break;
    std::size_t len = std::uint8_t(b[i++]);
    if (len & 0x80) {
      int n = len & 0x7F;
      len = 0;
      while (n-- && i < b.size()) len = (len << 8) | std::uint8_t(b[i++]);
    }
    if (len > b.size() - i) {
      if (ok) *ok = false;
      break;
    }
    e.c = b.substr(i, len);
    i += len;
    out.push_back(e);
  }
  return out;
}
std::int64_t IntOf(const Bytes& c) {
  std::int64_t v = (!c.empty() && (c[0] & 0x80)) ? -1 : 0;
  for (char ch : c) v = (v << 8) | std::uint8_t(ch);
  return v;
}

Bytes TypeDesc(const SNode& n) {
  switch (n.type) {
    case 1: return T(0xA1, Int(0x81, n.children.size()) + T(0xA2, TypeDesc(n.children.at(0))));
    case 2: {
      Bytes comps;
      for (auto& c : n.children) comps += T(0x30, T(0x80, c.name) + T(0xA1, TypeDesc(c)));
      return T(0xA2, T(0xA1, comps));
    }
    case 7: return T(0xA7, Int(0x02, n.size) + Int(0x02, n.size == 32 ? 8 : 11));
    case 3: case 11: case 15: case 17: return T(std::uint8_t(0x80 | n.type), "");
    default: return Int(std::uint8_t(0x80 | n.type), n.size);
  }
}

Bytes DataOf(const SNode& n) {
  if (n.type == 1 || n.type == 2) {
    Bytes c;
    for (auto& ch : n.children) c += DataOf(ch);
    return T(std::uint8_t(0xA0 | n.type), c);
  }
  return n.value;
}

void Flatten(const SNode& n, const std::string& prefix, std::vector<std::string>& out) {
  std::string name = prefix.empty() ? n.name : prefix + "$" + n.name;
  out.push_back(name);
  if (n.type == 2)
    for (auto& c : n.children) Flatten(c, name, out);
}

Bytes ObjectName(const std::string& dom, const std::string& item) {
  return T(0xA1, T(0x1A, dom) + T(0x1A, item));
}

SNode Leaf(const std::string& name, int type, int size, const Bytes& value) {
  SNode n;
  n.name = name;
  n.type = type;
  n.size = size;
  n.value = value;
  return n;
}
SNode Struct(const std::string& name, std::vector<SNode> children) {
  SNode n;
  n.name = name;
  n.type = 2;
  n.children = std::move(children);
  return n;
}
Bytes F32(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  return T(0x87, Bytes{8, char(u >> 24), char(u >> 16), char(u >> 8), char(u)});
}
Bytes F64(double d) {
  std::uint64_t u;
  std::memcpy(&u, &d, 8);
  Bytes b(1, 11);
  for (int i = 7; i >= 0; --i) b += char(u >> (8 * i));
  return T(0x87, b);
}

}  // namespace

TTestMmsServer::TTestMmsServer() {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listen_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  ::listen(listen_, 4);
  socklen_t l = sizeof sa;
  ::getsockname(listen_, reinterpret_cast<sockaddr*>(&sa), &l);
  port_ = ntohs(sa.sin_port);
}

TTestMmsServer::~TTestMmsServer() {
  if (conn_ >= 0) ::close(conn_);
  if (listen_ >= 0) ::close(listen_);
}

void TTestMmsServer::CloseConnection() {
  if (conn_ >= 0) ::close(conn_);
  conn_ = -1;
  in_.clear();
  out_.clear();
  tsdu_.clear();
  held_.clear();
  associated_ = false;
}

void TTestMmsServer::Poll() {
  if (conn_ < 0) {
    int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    ++connections;
    if (closeOnAccept) {
      ::close(fd);
      return;
    }
    conn_ = fd;
  }
  // Answers held back go out when their time has come.
  for (auto it = held_.begin(); it != held_.end();) {
    if (it->at <= std::chrono::steady_clock::now()) {
      Bytes t = std::move(it->tsdu);
      it = held_.erase(it);
      SendTsdu(t);
    } else {
      ++it;
    }
  }
  char buf[65536];
  for (;;) {
    ssize_t n = ::recv(conn_, buf, sizeof buf, 0);
    if (n > 0) {
      in_.append(buf, std::size_t(n));
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      CloseConnection();
      return;
    }
    break;
  }
  while (in_.size() >= 4) {
    std::size_t total = (std::uint8_t(in_[2]) << 8) | std::uint8_t(in_[3]);
    if (in_[0] != 3 || total < 4) {
      CloseConnection();
      return;
    }
    if (in_.size() < total) break;
    Bytes tpdu = in_.substr(4, total - 4);
    in_.erase(0, total);
    HandleTpdu(tpdu);
    if (conn_ < 0) return;
  }
  while (!out_.empty()) {
    ssize_t n = ::send(conn_, out_.data(), out_.size(), MSG_NOSIGNAL);
    if (n <= 0) break;
    out_.erase(0, std::size_t(n));
  }
  if (closeAfterFlush_ && out_.empty()) {
    closeAfterFlush_ = false;
    CloseConnection();
  }
}

void TTestMmsServer::HandleTpdu(const Bytes& t) {
  if (t.size() < 2) return;
  std::uint8_t code = std::uint8_t(t[1]) & 0xF0;
  if (code == 0xE0) {  // CR -> CC with the TPDU size the test chose
    Bytes cc = {char(0x09), char(0xD0), 0, 1, 0, 2, 0, char(0xC0), 1, char(ccSizeCode)};
    out_ += Bytes{3, 0, 0, char(4 + cc.size())} + cc;
  } else if (code == 0xF0 && t.size() >= 3) {
    tsdu_ += t.substr(3);
    if (t[2] & 0x80) {
      Bytes unit;
      unit.swap(tsdu_);
      HandleTsdu(unit);
    }
  }
}

void TTestMmsServer::SendTsdu(const Bytes& tsdu) {
  std::size_t max = (std::size_t(128) << (ccSizeCode - 7)) - 3;
  if (ccSizeCode >= 10) max = 1024 - 3;  // the client asked for 1024
  for (std::size_t pos = 0; pos < tsdu.size(); pos += max) {
    Bytes piece = tsdu.substr(pos, max);
    bool last = pos + max >= tsdu.size();
    Bytes dt = Bytes{2, char(0xF0), char(last ? 0x80 : 0)} + piece;
    std::size_t total = dt.size() + 4;
    out_ += Bytes{3, 0, char(total >> 8), char(total & 0xFF)} + dt;
  }
}

void TTestMmsServer::SendMms(const Bytes& pdu) {
  Bytes pdata = T(0x61, T(0x30, Int(0x02, 3) + T(0xA0, pdu)));
  if (answerDelayMs > 0) {
    held_.push_back({std::chrono::steady_clock::now() + std::chrono::milliseconds(answerDelayMs), Bytes{1, 0, 1, 0} + pdata});
    return;
  }
  SendTsdu(Bytes{1, 0, 1, 0} + pdata);
}

void TTestMmsServer::HandleTsdu(const Bytes& s) {
  if (s.empty()) return;
  if (std::uint8_t(s[0]) == 0x0D) {
    // CONNECT: find the user data (PGI 0xC1), go down CP -> AARQ -> initiate request.
    std::size_t i = 2;
    Bytes user;
    while (i + 2 <= s.size()) {
      std::uint8_t code = s[i], len = s[i + 1];
      if (code == 0xC1) user = s.substr(i + 2, len);
      i += 2 + len;
    }
    Bytes initiate = T2(0xA9, 0, "");  // placeholder, replaced below
    std::uint8_t services[11] = {};
    for (int b : {0, 1, 4, 5, 6, 11, 12, 72, 73, 74, 77, 79})
      services[b / 8] |= std::uint8_t(0x80 >> (b % 8));
    Bytes svc(1, 3);
    svc.append(reinterpret_cast<char*>(services), 11);
    Bytes detail = Int(0x80, 1) + T(0x81, Bytes{5, char(0xF1), 0}) + T(0x82, svc);
    initiate = T(0xA9, Int(0x80, localDetail) + Int(0x81, 5) + Int(0x82, 5) + Int(0x83, 4) + T(0xA4, detail));
    Bytes mmsCtx = Bytes{6, 5, 0x28, char(0xCA), 0x22, 2, 3};
    Bytes aare = T(0x61, T(0xA1, mmsCtx) + T(0xA2, Int(0x02, rejectAssociation ? 1 : 0)) +
                             T(0xA3, T(0xA1, Int(0x02, 0))) +
                             T(0xBE, T(0x28, Int(0x02, 3) + T(0xA0, initiate))));
    Bytes result = T(0x30, Int(0x80, 0) + T(0x81, Bytes{0x51, 0x01}));
    Bytes cpa = T(0x31, T(0xA0, Int(0x80, 1)) +
                            T(0xA2, T(0x83, Bytes{0, 0, 0, 1}) + T(0xA5, result + result) +
                                        T(0x61, T(0x30, Int(0x02, 1) + T(0xA0, aare)))));
    Bytes params = Bytes{0x05, 0x06, 0x13, 0x01, 0x00, 0x16, 0x01, 0x02, 0x14, 0x02, 0x00, 0x02};
    params += char(0xC1);
    params += char(cpa.size());
    params += cpa;
    SendTsdu(Bytes{0x0E, char(params.size())} + params);
    associated_ = !rejectAssociation;
    if (associated_ && !garbageAfterAssociation.empty()) {
      if (garbageRaw)
        out_ += garbageAfterAssociation;
      else
        SendTsdu(garbageAfterAssociation);
    }
    return;
  }
  if (s.size() < 4 || s[0] != 1) return;
  auto pdata = Parse(s.substr(4));
  if (pdata.empty()) return;
  auto pdv = Parse(pdata[0].c);
  if (pdv.empty()) return;
  for (auto& e : Parse(pdv[0].c))
    if (e.cls == 0x80 && e.tag == 0)
      for (auto& pdu : Parse(e.c))
        if (pdu.tag == 0) HandleMms(pdu.c);  // confirmed-RequestPDU
}

SNode* TTestMmsServer::Resolve(const std::string& domain, const std::string& item) {
  auto d = domains.find(domain);
  if (d == domains.end()) return nullptr;
  std::vector<SNode>* level = &d->second;
  SNode* at = nullptr;
  std::size_t i = 0;
  while (i <= item.size()) {
    std::size_t j = item.find('$', i);
    if (j == std::string::npos) j = item.size();
    std::string part = item.substr(i, j - i);
    at = nullptr;
    for (auto& n : *level)
      if (n.name == part) at = &n;
    if (!at) return nullptr;
    level = &at->children;
    i = j + 1;
  }
  return at;
}

void TTestMmsServer::HandleMms(const Bytes& pdu) {
  mmsRequests.push_back(pdu);
  ++requests;
  if (silent) return;
  auto req = Parse(pdu);  // INTEGER invokeID, service
  if (req.size() < 2) return;
  std::int64_t id = IntOf(req[0].c);
  bool error = false;
  Bytes body = Answer(req[1].tag, req[1].c, error);
  if (error)
    SendMms(T(0xA2, Int(0x80, id) + T(0xA2, T(0xA0, body))));
  else
    SendMms(T(0xA1, Int(0x02, id) + body));
}

Bytes TTestMmsServer::Answer(int service, const Bytes& body, bool& error) {
  auto els = Parse(body);
  auto varList = [&](const Bytes& list) {
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& item : Parse(list)) {
      auto varSpec = Parse(item.c);
      if (varSpec.empty()) continue;
      auto name = Parse(varSpec[0].c);
      if (name.empty()) continue;
      if (name[0].tag == 1) {
        auto parts = Parse(name[0].c);
        if (parts.size() == 2) out.emplace_back(parts[0].c, parts[1].c);
      } else {
        out.emplace_back("", name[0].c);
      }
    }
    return out;
  };
  switch (service) {
    case 0: return T(0xA0, Int(0x80, 0) + Int(0x81, 0));
    case 1: {  // GetNameList
      int cls = 0;
      std::string domain, after;
      bool vmd = true;
      for (auto& e : els) {
        if (e.tag == 0) cls = int(IntOf(Parse(e.c).at(0).c));
        if (e.tag == 1) {
          auto sc = Parse(e.c).at(0);
          vmd = sc.tag == 0;
          domain = sc.c;
        }
        if (e.tag == 2) after = e.c;
      }
      std::vector<std::string> names;
      if (cls == 9) {
        for (auto& d : domains) names.push_back(d.first);
      } else if (cls == 0 && !vmd) {
        auto d = domains.find(domain);
        if (d != domains.end())
          for (auto& ln : d->second) Flatten(ln, "", names);
      } else if (cls == 2) {
        for (auto& ds : dataSets)
          if (!vmd && ds.domain == domain) names.push_back(ds.name);
      }
      std::sort(names.begin(), names.end());
      std::size_t start = 0;
      if (!after.empty()) start = std::upper_bound(names.begin(), names.end(), after) - names.begin();
      Bytes list;
      std::size_t end = std::min(names.size(), start + namesPerPage);
      for (std::size_t i = start; i < end; ++i) list += T(0x1A, names[i]);
      bool more = end < names.size();
      Bytes resp = T(0xA0, list);
      if (!(omitMoreFollows && more)) resp += T(0x81, Bytes(1, more ? 1 : 0));
      return T(0xA1, resp);
    }
    case 4: {  // Read
      int count = 0;
      for (auto& e : els)
        if (e.tag == 1)
          for (auto& varSpec : Parse(e.c)) count += int(varList(varSpec.c).size());
      if (maxReadVariables >= 0 && count > maxReadVariables) {
        error = true;
        return Int(0x83, 1);  // resource, memory-unavailable
      }
      Bytes results;
      for (auto& e : els)
        if (e.tag == 1)
          for (auto& varSpec : Parse(e.c))
            for (auto& [dom, item] : varList(varSpec.c)) {
              SNode* n = Resolve(dom, item);
              results += n ? DataOf(*n) : Int(0x80, 10);  // object-non-existent
            }
      return T(0xA4, T(0xA1, results));
    }
    case 5: {  // Write
      std::vector<std::pair<std::string, std::string>> vars;
      std::vector<El> data;
      for (auto& e : els) {
        if (e.tag == 0 && vars.empty() && data.empty())
          vars = varList(e.c);
        else if (e.tag == 0)
          data = Parse(e.c);
      }
      Bytes results;
      for (std::size_t i = 0; i < vars.size(); ++i) {
        SNode* n = Resolve(vars[i].first, vars[i].second);
        if (!n) results += Int(0x80, 10);
        else if (n->readOnly) results += Int(0x80, 3);  // object-access-denied
        else if (i >= data.size() || data[i].tag != n->type) results += Int(0x80, 7);  // type-inconsistent
        else if (int rule = ControlBlockWriteRule(vars[i].first, vars[i].second, data[i].tag, data[i].c); rule >= 0)
          results += Int(0x80, rule);
        else {
          n->value = T(std::uint8_t(0x80 | data[i].tag), data[i].c);
          results += T(0x81, "");
        }
      }
      return T(0xA5, results);
    }
    case 6: {  // GetVariableAccessAttributes
      auto name = Parse(els.at(0).c);
      auto parts = Parse(name.at(0).c);
      SNode* n = parts.size() == 2 ? Resolve(parts[0].c, parts[1].c) : nullptr;
      if (!n) {
        error = true;
        return Int(0x82, 1);  // access class, object-non-existent
      }
      return T(0xA6, Int(0x80, 0) + T(0xA2, TypeDesc(*n)));
    }
    case 11: {  // DefineNamedVariableList { name, [0] listOfVariable }
      if (refuseDefine || els.size() < 2) {
        error = true;
        return Int(0x82, 1);
      }
      SDataSet ds;
      ds.name = els[0].c;
      for (auto& [dom, item] : varList(els[1].c)) {
        ds.domain = dom;
        ds.members.push_back(item);
      }
      definedSets.push_back(ds);
      return Bytes{char(0x8B), 0};
    }
    case 12: {  // GetNamedVariableListAttributes
      auto parts = Parse(els.at(0).c);
      for (auto& ds : dataSets)
        if (parts.size() == 2 && ds.domain == parts[0].c && ds.name == parts[1].c) {
          Bytes list;
          for (auto& m : ds.members) list += T(0x30, T(0xA0, ObjectName(ds.domain, m)));
          return T(0xAC, Int(0x80, 0) + T(0xA1, list));
        }
      error = true;
      return Int(0x82, 1);
    }
    case 77: {  // FileDirectory
      std::string after;
      for (auto& e : els)
        if (e.tag == 1) after = Parse(e.c).at(0).c;
      Bytes list;
      std::size_t count = 0;
      bool more = false;
      for (auto& f : files) {
        if (!after.empty() && f.first <= after) continue;
        if (count == dirPerPage) {
          more = true;
          break;
        }
        ++count;
        list += T(0x30, T(0xA0, T(0x19, f.first)) + T(0xA1, Int(0x80, f.second.size()) + T(0x81, "20240131235959.000Z")));
      }
      // listOfDirectoryEntry [0] holds one SEQUENCE OF with the entries, as servers send it.
      return T2(0xBF, 0x4D, T(0xA0, T(0x30, list)) + T(0x81, Bytes(1, more ? 1 : 0)));
    }
    case 72: {  // FileOpen
      std::string name = Parse(els.at(0).c).at(0).c;
      auto f = files.find(name);
      if (f == files.end()) {
        error = true;
        return T(0x8B, IntC(7));  // file class, file-non-existent
      }
      int frsm = nextFrsm_++;
      open_[frsm] = {f->second, 0};
      return T2(0xBF, 0x48, Int(0x80, frsm) + T(0xA1, Int(0x80, f->second.size())));
    }
    default:
      break;
  }
  // Primitive requests (FileRead, FileClose) arrive as 0x9F 0x49/0x4A: service numbers 73/74.
  if (service == 73) {
    auto it = open_.find(int(IntOf(body)));
    if (it == open_.end()) {
      error = true;
      return T(0x8B, IntC(1));
    }
    if (++fileReads_ == closeAfterFileReads) closeAfterFlush_ = true;
    auto& [data, pos] = it->second;
    Bytes piece = data.substr(pos, fileChunk);
    pos += piece.size();
    return T2(0xBF, 0x49, T(0x80, piece) + T(0x81, Bytes(1, pos < data.size() ? 1 : 0)));
  }
  if (service == 74) {
    open_.erase(int(IntOf(body)));
    return Bytes{char(0x9F), 0x4A, 0};
  }
  error = true;
  return T(0x80, IntC(0));
}

void BuildSampleModel(TTestMmsServer& s) {
  std::vector<SNode> all = {
      Leaf("b", 3, 0, T(0x83, Bytes(1, 1))),
      Leaf("bs", 4, 13, T(0x84, Bytes{3, char(0xA5), char(0x28)})),
      Leaf("i", 5, 32, Int(0x85, -1234567)),
      Leaf("u", 6, 32, Int(0x86, 3000000000LL)),
      Leaf("f", 7, 32, F32(1.5f)),
      Leaf("d", 7, 64, F64(-2.25)),
      Leaf("os", 9, 8, T(0x89, Bytes{char(0xDE), char(0xAD), char(0xBE), char(0xEF)})),
      Leaf("vs", 10, 32, T(0x8A, "hello")),
      Leaf("gt", 11, 0, T(0x8B, "20240131235959Z")),
      Leaf("bcd", 13, 4, T(0x8D, Bytes{0x12, 0x34})),
      Leaf("oid", 15, 0, T(0x8F, Bytes{0x28, char(0xCA), 0x22, 0x02, 0x03})),
      Leaf("ms", 16, 64, T(0x90, "text")),
      Leaf("utc", 17, 0, T(0x91, Bytes(8, 0))),
      Leaf("f7", 7, 32, F32(1234567.0f)),
      Leaf("d9", 7, 64, F64(0.123456789)),
      // 12:34:56.789 on 2024-01-31 (day 14640 after 1984-01-01), and the time of day alone.
      Leaf("bt6", 12, 0, T(0x8C, Bytes{0x02, char(0xB3), 0x2C, char(0x95), 0x39, 0x30})),
      Leaf("bt4", 12, 0, T(0x8C, Bytes{0x02, char(0xB3), 0x2C, char(0x95)})),
  };
  SNode arr;
  arr.name = "arr";
  arr.type = 1;
  for (int i = 0; i < 3; ++i) arr.children.push_back(Leaf("x", 5, 8, Int(0x85, 10 + i)));
  SNode ro = Leaf("ro", 5, 32, Int(0x85, 7));
  ro.readOnly = true;
  SNode lln0 = Struct("LLN0", {Struct("ST", {Struct("Mod", {Leaf("stVal", 5, 8, Int(0x85, 1)),
                                                               Leaf("q", 4, 13, T(0x84, Bytes{3, 0, 0}))})}),
                               Struct("BR", {Struct("brcb01", {Leaf("RptID", 10, 65, T(0x8A, "R1")),
                                                               Leaf("RptEna", 3, 0, T(0x83, Bytes(1, 0))),
                                                               Leaf("DatSet", 10, 65, T(0x8A, "TESTLD/LLN0$DS1"))})}),
                               Struct("RP", {Struct("urcb01", {Leaf("RptID", 10, 65, T(0x8A, "U1")),
                                                               Leaf("RptEna", 3, 0, T(0x83, Bytes(1, 0)))})})});
  SNode ggio = Struct("GGIO1", {Struct("ST", {Struct("All", all), arr}), Struct("CF", {ro})});
  s.domains["TESTLD"] = {lln0, ggio};
  s.dataSets.push_back({"TESTLD", "DS1", {"GGIO1$ST$All$b", "GGIO1$ST$All$i", "LLN0$ST$Mod$stVal"}});
  std::string big;
  for (int i = 0; i < 1000; ++i) big += char('a' + i % 26);
  s.files["COMTRADE/rec1.cfg"] = big;
  s.files["log.txt"] = "line one\nline two\n";
  s.files["empty.bin"] = "";
}

int TTestMmsServer::ControlBlockWriteRule(const std::string& domain, const std::string& item, int tag,
                                          const Bytes& contents) {
  // LN$FC$block$attribute
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= item.size()) {
    std::size_t j = item.find('$', i);
    if (j == std::string::npos) j = item.size();
    parts.push_back(item.substr(i, j - i));
    i = j + 1;
  }
  if (parts.size() != 4 || (parts[1] != "RP" && parts[1] != "BR")) return -1;
  std::string block = parts[0] + "$" + parts[1] + "$" + parts[2];
  if (std::find(reservedElsewhere.begin(), reservedElsewhere.end(), domain + "/" + block) != reservedElsewhere.end())
    return 2;  // temporarily-unavailable
  const std::string& attr = parts[3];
  if (attr == "RptEna" && tag == 3 && !contents.empty() && contents[0] && refuseRptEna) return 3;
  SNode* ena = Resolve(domain, block + "$RptEna");
  bool enabled = ena && ena->value.size() == 3 && ena->value[2] != 0;
  // An enabled block takes no new settings: only RptEna, GI and (buffered) PurgeBuf.
  if (enabled && attr != "RptEna" && attr != "GI" && attr != "PurgeBuf") return 2;
  return -1;
}

void TTestMmsServer::SendReport(const Bytes& results) {
  if (conn_ < 0 || !associated_) return;
  Bytes report = T(0xA0, T(0xA1, T(0x80, "RPT")) + T(0xA0, results));
  SendMms(T(0xA3, report));
  while (!out_.empty()) {
    ssize_t n = ::send(conn_, out_.data(), out_.size(), MSG_NOSIGNAL);
    if (n <= 0) break;
    out_.erase(0, std::size_t(n));
  }
}

Bytes DataVisibleString(const std::string& s) { return T(0x8A, s); }
Bytes DataBits(int bitCount, std::uint64_t bits) {
  Bytes b(1, char((8 - bitCount % 8) % 8));
  int octets = (bitCount + 7) / 8;
  for (int o = 0; o < octets; ++o) {
    std::uint8_t x = 0;
    for (int k = 0; k < 8; ++k) {
      int bit = o * 8 + k;
      if (bit < bitCount && ((bits >> (bitCount - 1 - bit)) & 1)) x |= std::uint8_t(0x80 >> k);
    }
    b += char(x);
  }
  return T(0x84, b);
}
Bytes DataUnsigned(std::uint64_t v) {
  Bytes c = IntC(std::int64_t(v));
  if (std::uint8_t(c[0]) & 0x80) c.insert(0, 1, 0);
  return T(0x86, c);
}
Bytes DataBool(bool b) { return T(0x83, Bytes(1, b ? 1 : 0)); }
Bytes DataOctets(const Bytes& b) { return T(0x89, b); }
Bytes DataFloat(float f) { return F32(f); }
Bytes DataStructure(const Bytes& elements) { return T(0xA2, elements); }

void BuildReportModel(TTestMmsServer& s) {
  auto vs = [](const char* n, const char* v) { return Leaf(n, 10, 65, T(0x8A, v)); };
  auto b = [](const char* n, bool v) { return Leaf(n, 3, 0, T(0x83, Bytes(1, v ? 1 : 0))); };
  auto u = [](const char* n, std::uint32_t v) { return Leaf(n, 6, 32, DataUnsigned(v)); };
  auto bits = [](const char* n, int count, std::uint64_t v) { return Leaf(n, 4, count, DataBits(count, v)); };
  auto os = [](const char* n, const Bytes& v) { return Leaf(n, 9, int(v.size()), T(0x89, v)); };
  auto brcb = [&](const char* name, const char* id) {
    return Struct(name, {vs("RptID", id), b("RptEna", false), vs("DatSet", "RPTLD/LLN0$DS1"), u("ConfRev", 1),
                         bits("OptFlds", 10, 0), u("BufTm", 0), u("SqNum", 0), bits("TrgOps", 6, 0), u("IntgPd", 0),
                         b("GI", false), b("PurgeBuf", false), os("EntryID", Bytes(8, 0)),
                         Leaf("TimeOfEntry", 12, 0, T(0x8C, Bytes(6, 0))), Leaf("ResvTms", 5, 16, Int(0x85, 0)),
                         os("Owner", Bytes(4, 0))});
  };
  auto urcb = [&](const char* name, const char* id) {
    return Struct(name, {vs("RptID", id), b("RptEna", false), b("Resv", false), vs("DatSet", ""), u("ConfRev", 1),
                         bits("OptFlds", 10, 0), u("BufTm", 0), u("SqNum", 0), bits("TrgOps", 6, 0), u("IntgPd", 0),
                         b("GI", false), os("Owner", Bytes(4, 0))});
  };
  SNode gcb = Struct("gcb01", {b("GoEna", true), vs("GoID", "RPTLD/LLN0$GO$gcb01"), vs("DatSet", "RPTLD/LLN0$DS1"),
                               u("ConfRev", 7), b("NdsCom", false),
                               Struct("DstAddress", {os("Addr", Bytes{1, 0x0C, char(0xCD), 1, 0, 1}),
                                                     u("PRIORITY", 4), u("VID", 0x123), u("APPID", 0x3001)}),
                               u("MinTime", 4), u("MaxTime", 1000), b("FixedOffs", false)});
  SNode lln0 = Struct("LLN0", {Struct("ST", {Struct("Mod", {Leaf("stVal", 5, 8, Int(0x85, 1))})}),
                               Struct("BR", {brcb("brcb01", "BR01"), brcb("brcb02", "BR02")}),
                               Struct("RP", {urcb("urcb01", "RP01"), urcb("urcb02", "RP02")}),
                               Struct("GO", {gcb})});
  auto ind = [&](const char* n) {
    return Struct(n, {b("stVal", false), bits("q", 13, 0)});
  };
  SNode ggio = Struct("GGIO1", {Struct("ST", {ind("Ind1"), ind("Ind2")}),
                                Struct("MX", {Struct("AnIn1", {Struct("mag", {Leaf("f", 7, 32, F32(0))})})})});
  s.domains["RPTLD"] = {lln0, ggio};
  s.dataSets.push_back({"RPTLD", "LLN0$DS1", {"GGIO1$ST$Ind1$stVal", "GGIO1$ST$Ind2$stVal", "GGIO1$MX$AnIn1$mag$f"}});
}

void BuildLargeModel(TTestMmsServer& s, int attributes) {
  // Each data object: stVal, q, t (3 attributes); 20 data objects per logical node.
  int perLn = 20 * 3;
  int lns = (attributes + perLn - 1) / perLn;
  for (int l = 0; l < lns; ++l) {
    std::vector<SNode> dos;
    for (int d = 0; d < 20; ++d)
      dos.push_back(Struct("Ind" + std::to_string(d + 1),
                           {Leaf("stVal", 3, 0, T(0x83, Bytes(1, 0))), Leaf("q", 4, 13, T(0x84, Bytes{3, 0, 0})),
                            Leaf("t", 17, 0, T(0x91, Bytes(8, 0)))}));
    std::string ld = "LD" + std::to_string(l / 10);
    s.domains[ld].push_back(Struct("GGIO" + std::to_string(l % 10 + 1), {Struct("ST", dos)}));
  }
}

}  // namespace t32test
