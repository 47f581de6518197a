// tavrik32-cli mms: browse, read, write and fetch files from an IEC 61850 server.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "iec61850/mmsclient.h"

namespace t32::cli {

namespace {

const char* kMmsHelp =
    "Usage: tavrik32-cli mms COMMAND HOST[:PORT] [ARGS] [--timeout SECONDS]\n"
    "Talks to an IEC 61850 server (MMS over ISO transport, TCP port 102 by default).\n\n"
    "Commands:\n"
    "  browse HOST                     load the server's model and print it as a tree\n"
    "  read HOST REFERENCE...          print the values of variables (LD/LN$FC$DO$DA)\n"
    "  write HOST REFERENCE VALUE      write one value (the variable's type decides the form)\n"
    "  files HOST [PATH]               list the server's files\n"
    "  get HOST REMOTE LOCAL           download a file (an existing LOCAL is replaced only by a\n"
    "                                  complete download)\n"
    "  reports HOST [--rcb REF]... [--count N]\n"
    "                                  set up reports (all control blocks with an RptID, or the\n"
    "                                  blocks named LD/LN$BR$name) and print each one that arrives\n\n"
    "Options:\n"
    "  --timeout SECONDS               longest wait for each answer of the server (default 20)\n"
    "  --                              what follows is arguments, even when it starts with '-'\n"
    "                                  (negative values are taken as values anyway)\n\n"
    "Exit status: 0 success, 1 failure (connection, association, refused service), 2 bad usage.\n";

struct TCliEvents : TMMSEvents {
  void WriteResult(TMMSvar*, int code) override { writeCode = code; }
  void DirectoryComplete(bool ok) override { dir = ok ? 1 : 2; }
  void FileComplete(bool ok) override { file = ok ? 1 : 2; }
  int writeCode = -1, dir = 0, file = 0;
};

class TSession {
 public:
  int timeout = 20;
  TMMSobject client;
  TCliEvents ev;
  std::string host;

  bool Resolve(const std::string& hostPort) {
    host = hostPort;
    std::string name = hostPort;
    int port = 102;
    auto colon = hostPort.rfind(':');
    if (colon != std::string::npos) {
      name = hostPort.substr(0, colon);
      char* end = nullptr;
      long p = std::strtol(hostPort.c_str() + colon + 1, &end, 10);
      if (*end || p <= 0 || p > 65535) return false;
      port = static_cast<int>(p);
    }
    addrinfo hints{}, *res = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
    auto* sa = reinterpret_cast<sockaddr_in*>(res->ai_addr);
    std::memcpy(client.Main.Ip, &sa->sin_addr.s_addr, 4);
    freeaddrinfo(res);
    client.Main.Port = port;
    client.Main.ReconnectInterval = 3600;  // one attempt: the command reports a failure
    client.Main.ResponseTimeout = timeout;
    client.ResponseTimeout = timeout;
    client.ApplyAddress();
    client.Events = &ev;
    return true;
  }

  // Ticks until done() or a failure; false on failure (message printed). The time limit is
  // per answer: as long as the server keeps answering within `timeout` seconds, a long
  // command (the browse of a large model) goes on.
  template <class F> bool Run(F done) {
    auto lastHeard = TClock::now();
    std::int64_t heard = client.Stats().Get(TStatHolder::kBytesReceived);
    const std::int64_t timeouts = client.Stats().Get(TStatHolder::kTimeouts);
    for (;;) {
      client.Tick(TClock::now());
      if (done()) return true;
      int s = client.MMSState();
      if (client.Stats().Get(TStatHolder::kTimeouts) > timeouts) return Fail(NoAnswerText());
      if (client.ConnectedAt() != TTime{} && client.State() != TTCPObject::kConnected) {
        // The server ended the connection: at once a failure, never a wait for a retry.
        return Fail(everAssociated ? "сервер закрыл соединение"
                                   : "сервер закрыл соединение до установления связи (например, занято "
                                     "предельное число подключений или нужен пароль)");
      }
      if (s == TMMSobject::kMmsAssociated) everAssociated = true;
      if (s == TMMSobject::kMmsError || s == TMMSobject::kMmsRefused || s == TMMSobject::kMmsFailure ||
          client.State() == TTCPObject::kFailed || client.State() == TTCPObject::kNoSocket ||
          (client.Stats().Get(TStatHolder::kReconnects) > 0 && s != TMMSobject::kMmsAssociated)) {
        return Fail(TMMSobject::StateCaption(s));
      }
      std::int64_t now = client.Stats().Get(TStatHolder::kBytesReceived);
      if (now != heard) {
        heard = now;
        lastHeard = TClock::now();
      } else if (TClock::now() - lastHeard > std::chrono::seconds(timeout)) {
        return Fail(NoAnswerText());
      }
      pollfd p{client.Fd(), client.PollEvents(), 0};
      ::poll(&p, client.Fd() >= 0 ? 1 : 0, 20);
    }
  }
  std::string NoAnswerText() const { return "сервер не ответил за " + std::to_string(timeout) + " с"; }
  bool Fail(const std::string& what) {
    std::string status = client.StatusText();
    for (char& c : status)
      if (c == '\r') c = ';';
    std::fprintf(stderr, "tavrik32-cli mms: %s: %s (%s)\n", host.c_str(), what.c_str(), status.c_str());
    return false;
  }
  bool everAssociated = false;
  bool Associate() { return Run([&] { return client.MMSState() == TMMSobject::kMmsAssociated; }); }

  // Builds the node of a reference without loading the whole model and asks its type.
  TMMSvar* Variable(const std::string& ref) {
    auto slash = ref.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= ref.size()) {
      std::fprintf(stderr, "tavrik32-cli mms: '%s': expected LD/LN$FC$DO...\n", ref.c_str());
      return nullptr;
    }
    auto& dict = client.Dictionary();
    std::uint32_t dn = dict.Add(ref.substr(0, slash));
    TMMSvar* at = client.Root().FindChild(dn);
    if (!at) {
      at = client.Root().AddChild(dn);
      at->Domain = true;
    }
    std::string item = ref.substr(slash + 1);
    std::size_t i = 0;
    while (i <= item.size()) {
      std::size_t j = item.find('$', i);
      if (j == std::string::npos) j = item.size();
      std::uint32_t n = dict.Add(item.substr(i, j - i));
      TMMSvar* next = at->FindChild(n);
      if (!next) next = at->AddChild(n);
      at = next;
      i = j + 1;
    }
    if (at->Type == kMmsNone) {
      if (!client.GetVariableAttributes(at) || !Run([&] { return client.OutstandingCount() == 0; })) return nullptr;
      if (at->Type == kMmsNone) {
        std::fprintf(stderr, "tavrik32-cli mms: %s: the server does not know this variable\n", ref.c_str());
        return nullptr;
      }
    }
    return at;
  }
};

void PrintTree(const TMMSobject& c, const TMMSvar& n, int depth) {
  const auto& dict = const_cast<TMMSobject&>(c).Dictionary();
  std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  if (n.Domain)
    std::printf("%s%s\n", indent.c_str(), dict[n.Name].c_str());
  else if (depth <= 2)
    std::printf("%s%s\n", indent.c_str(), dict[n.Name].c_str());  // logical node, functional constraint
  else
    std::printf("%s%s: %s\n", indent.c_str(), dict[n.Name].c_str(), TypeText(n).c_str());
  if (n.Type == kMmsArray && n.Children.size() > 3) {
    PrintTree(c, *n.Children[0], depth + 1);
    std::printf("%s  ... %zu elements\n", indent.c_str(), n.Children.size());
    return;
  }
  for (const auto& ch : n.Children) PrintTree(c, *ch, depth + 1);
}

// A value such as "-1" or "-.5e3" is an argument, not an option.
bool LooksNegativeNumber(const std::string& a) {
  return a.size() > 1 && a[0] == '-' && (std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.');
}

bool ParseCommon(Args& args, TSession& s) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") {
      args.erase(args.begin() + static_cast<long>(i));  // everything after it is an argument
      break;
    }
    if (args[i] == "--timeout" && i + 1 < args.size()) {
      s.timeout = std::atoi(args[i + 1].c_str());
      if (s.timeout <= 0) return false;
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      --i;
    } else if (!args[i].empty() && args[i][0] == '-' && args[i].size() > 1 && !LooksNegativeNumber(args[i])) {
      return false;
    }
  }
  return true;
}

int Usage() {
  std::fputs(kMmsHelp, stderr);
  return kUsage;
}

int RunMmsReports(const Args& in);

int RunMms(const Args& in) {
  if (WantsHelp(in)) {
    std::fputs(kMmsHelp, stdout);
    return kOk;
  }
  if (!in.empty() && in[0] == "reports") return RunMmsReports(in);
  Args args = in;
  TSession s;
  if (args.size() < 2 || !ParseCommon(args, s)) return Usage();
  const std::string cmd = args[0];
  if (!s.Resolve(args[1])) {
    std::fprintf(stderr, "tavrik32-cli mms: '%s': not a host name or address[:port]\n", args[1].c_str());
    return kFailure;
  }
  if (cmd == "browse") {
    if (args.size() != 2) return Usage();
    if (!s.Associate() || !s.client.LoadModel() || !s.Run([&] { return s.client.ModelLoaded(); })) return kFailure;
    auto& c = s.client;
    for (const auto& dom : c.Root().Children) PrintTree(c, *dom, 0);
    std::printf("Data sets:\n");
    for (const auto& ds : c.DataSets()) {
      std::printf("  %s/%s\n", ds->Domain.c_str(), ds->Name.c_str());
      for (const auto& m : ds->MemberNames) std::printf("    %s\n", m.c_str());
    }
    std::printf("Report control blocks:\n");
    for (TMMSvar* rcb : c.ReportControlBlocks()) {
      std::string id = "н/д";
      for (const auto& ch : rcb->Children)
        if (c.Dictionary()[ch->Name] == "RptID") id = NodeValueText(*ch, c.Dictionary());
      std::printf("  %s RptID=%s\n", c.Reference(rcb).c_str(), id.c_str());
    }
    return kOk;
  }
  if (cmd == "read") {
    if (args.size() < 3) return Usage();
    if (!s.Associate()) return kFailure;
    std::vector<TMMSvar*> vars;
    for (std::size_t i = 2; i < args.size(); ++i) {
      TMMSvar* v = s.Variable(args[i]);
      if (!v) return kFailure;
      vars.push_back(v);
    }
    if (!s.client.ReadVariables(vars) || !s.Run([&] { return s.client.OutstandingCount() == 0; })) return kFailure;
    int rc = kOk;
    for (std::size_t i = 0; i < vars.size(); ++i) {
      std::string text = NodeValueText(*vars[i], s.client.Dictionary());
      std::string why = vars[i]->ValueReceived ? std::string() : ReadErrorText(*vars[i]);
      if (!why.empty()) text += " (" + why + ")";
      std::printf("%s = %s\n", args[i + 2].c_str(), text.c_str());
      if (!vars[i]->ValueReceived) rc = kFailure;
    }
    return rc;
  }
  if (cmd == "write") {
    if (args.size() != 4) return Usage();
    if (!s.Associate()) return kFailure;
    TMMSvar* v = s.Variable(args[2]);
    if (!v) return kFailure;
    s.client.BeginWrite();
    if (!s.client.AddWriteText(v, args[3])) {
      std::fprintf(stderr, "tavrik32-cli mms: '%s' is not a value of type %s\n", args[3].c_str(), TypeText(*v).c_str());
      return kUsage;
    }
    if (!s.client.SendWrite() || !s.Run([&] { return s.ev.writeCode >= 0 || s.client.OutstandingCount() == 0; }))
      return kFailure;
    if (s.ev.writeCode != 255) {
      std::fprintf(stderr, "tavrik32-cli mms: %s: write refused, code %d\n", args[2].c_str(), s.ev.writeCode);
      return kFailure;
    }
    std::printf("%s := %s\n", args[2].c_str(), args[3].c_str());
    return kOk;
  }
  if (cmd == "files") {
    if (args.size() > 3) return Usage();
    if (!s.Associate() || !s.client.ListDirectory(args.size() == 3 ? args[2] : "") ||
        !s.Run([&] { return s.ev.dir != 0; }))
      return kFailure;
    if (s.ev.dir != 1) {
      std::fprintf(stderr, "tavrik32-cli mms: the server refused the directory listing\n");
      return kFailure;
    }
    for (const auto& e : s.client.Directory())
      std::printf("%12llu  %s  %s\n", static_cast<unsigned long long>(e.Size),
                  e.Modified ? DateTimeText(e.Modified).c_str() : "                     ", e.Name.c_str());
    return kOk;
  }
  if (cmd == "get") {
    if (args.size() != 4) return Usage();
    if (!s.Associate() || !s.client.DownloadFile(args[2], args[3])) return kFailure;
    if (!s.Run([&] { return s.ev.file != 0; }) || s.ev.file != 1) {
      std::fprintf(stderr, "tavrik32-cli mms: %s: загрузка прервана; %s не изменён\n", args[2].c_str(),
                   args[3].c_str());
      return kFailure;
    }
    return kOk;
  }
  return Usage();
}

// Each report with the members it updated (the updates come before its trace).
struct TReportEvents : TMMSEvents {
  void VariableUpdated(TMMSvar* v) override { pending.push_back(v); }
  void Trace(const std::string& t) override {
    if (t.rfind("Report:", 0) == 0) reports.emplace_back(t.substr(7), pending);
    pending.clear();
  }
  std::vector<TMMSvar*> pending;
  std::vector<std::pair<std::string, std::vector<TMMSvar*>>> reports;
};

int RunMmsReports(const Args& in) {
  Args args;
  std::vector<std::string> blocks;
  long count = -1;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == "--rcb" && i + 1 < in.size()) {
      blocks.push_back(in[++i]);
    } else if (in[i] == "--count" && i + 1 < in.size()) {
      char* end = nullptr;
      count = std::strtol(in[++i].c_str(), &end, 10);
      if (*end || count <= 0) return Usage();
    } else {
      args.push_back(in[i]);
    }
  }
  TSession s;
  if (args.size() != 2 || !ParseCommon(args, s)) return Usage();
  if (!s.Resolve(args[1])) {
    std::fprintf(stderr, "tavrik32-cli mms: '%s': not a host name or address[:port]\n", args[1].c_str());
    return kFailure;
  }
  TReportEvents ev;
  auto& c = s.client;
  c.Events = &ev;
  if (!s.Associate() || !c.LoadModel() || !s.Run([&] { return c.ModelLoaded(); })) return kFailure;
  c.BuildReportList();
  std::vector<TMMSReportParam*> chosen;
  for (TMMSvar* b : c.ReportControlBlocks()) {
    std::string ref = c.Reference(b);
    if (!blocks.empty() && std::find(blocks.begin(), blocks.end(), ref) == blocks.end()) continue;
    for (const auto& r : c.Reports().Items) {
      TMMSvar* id = b->FindChild(static_cast<std::uint32_t>(std::max<std::int64_t>(0, c.Dictionary().Find("RptID"))));
      if (id && id->Value && ValueText(*id->Value) == r->RptID && !r->DatSet.empty() &&
          std::find(chosen.begin(), chosen.end(), r.get()) == chosen.end())
        chosen.push_back(r.get());
    }
  }
  if (chosen.empty()) {
    std::fprintf(stderr, "tavrik32-cli mms: %s: no report control block with an RptID and a data set\n",
                 s.host.c_str());
    return kFailure;
  }
  c.EnableReports(chosen, true);
  if (!s.Run([&] { return c.ReportStep() == 11 || c.ReportStep() == 12; })) return kFailure;
  int active = 0;
  for (TMMSReportParam* r : chosen) {
    std::printf("%s %s: %s\n", r->RptID.c_str(), r->Block ? c.Reference(r->Block).c_str() : "-",
                r->Active ? "enabled" : "refused");
    active += r->Active ? 1 : 0;
  }
  std::fflush(stdout);
  if (!active) return kFailure;
  long seen = 0;
  for (;;) {
    c.Tick(TClock::now());
    if (c.MMSState() != TMMSobject::kMmsAssociated) {
      s.Fail("сервер закрыл соединение");
      return kFailure;
    }
    for (const auto& [id, members] : ev.reports) {
      std::printf("Report %s\n", id.c_str());
      for (TMMSvar* v : members)
        std::printf("  %s = %s\n", c.Reference(v).c_str(), NodeValueText(*v, c.Dictionary()).c_str());
      if (count > 0 && ++seen >= count) return kOk;
    }
    ev.reports.clear();
    std::fflush(stdout);
    pollfd p{c.Fd(), c.PollEvents(), 0};
    ::poll(&p, c.Fd() >= 0 ? 1 : 0, 20);
  }
}

}  // namespace

void PrintMmsTree(const TMMSobject& c, const TMMSvar& n, int depth) { PrintTree(c, n, depth); }

void AddMmsVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"mms", "browse, read, write and fetch files from an IEC 61850 server", RunMms});
}

}  // namespace t32::cli
