// tavrik32-cli rtu ...: talk to a controller (or the simulator) over UDP or a serial line:
// read and write its configuration and other files, set its clock, restart it, read values.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "link/config_transfer.h"
#include "link/controller.h"
#include "model/document.h"
#include "project/cfgfile.h"
#include "link/link.h"
#include "model/fileio.h"
#include "model/memstream.h"
#include "model/messages.h"

namespace t32::cli {
namespace {

using namespace t32::link;

const char* const kRtuHelp =
    "Usage: tavrik32-cli rtu COMMAND [ARGS] (--udp HOST[:PORT] | --serial DEVICE) [OPTIONS]\n"
    "Talks to a Tavrik32 controller, or to tavrik32-rtu-sim.\n"
    "\n"
    "Commands:\n"
    "  read-config OUT.cfg   read the configuration that Boot.ini names and save it as a file\n"
    "  write-config IN.cfg   build IN.cfg for the controller's CPU type and program version and write it\n"
    "  read FILE OUT         read the controller's FILE into OUT\n"
    "  write FILE IN         write IN to the controller's FILE (names of up to 12 characters)\n"
    "  set-time              set the controller's clock to this computer's local time\n"
    "  restart               restart the controller (no answer is awaited)\n"
    "  value ADDR            read one live value; ADDR is the signal address (type base +\n"
    "                        storage index, e.g. 0x4000 for the first ТИ), decimal or 0x hex\n"
    "\n"
    "Link:\n"
    "  --udp HOST[:PORT]     the controller's IP address (and UDP port, default 208)\n"
    "  --local ADDR[:PORT]   own address and UDP port to send from (default: this computer's\n"
    "                        first address, port 208; port 0 lets the system choose)\n"
    "  --serial DEVICE       serial line: a device path (/dev/ttyUSB0, a pty) or COM1..COM8\n"
    "                        (COMn is /dev/ttyS(n-1))\n"
    "  --timeout MS          wait for an answer over UDP (default 2000)\n"
    "\n"
    "Login (file commands):\n"
    "  --user NAME           user name (default admin)\n"
    "  --password TEXT       password (default empty)\n"
    "\n"
    "Exit status: 0 success, 1 failure (the reason on stderr), 2 bad usage.\n";

class TCliMessages : public TMessages {
 public:
  void ShowError(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  // The command line is the user's confirmation.
  int AskConfirm(const std::string&, bool) override { return kYes; }
};

int UsageError(const std::string& why) {
  std::fprintf(stderr, "tavrik32-cli rtu: %s (see rtu --help)\n", why.c_str());
  return kUsage;
}

bool ParseHostPort(const std::string& text, std::uint32_t& ip, std::uint16_t& port) {
  std::string host = text;
  if (auto colon = text.find(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    char* end = nullptr;
    long p = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (!end || *end || p < 0 || p > 65535 || colon + 1 == text.size()) return false;
    port = std::uint16_t(p);
  }
  bool ok = false;
  ip = IpTextToU32(host, &ok);
  return ok;
}

int RunRtu(const Args& args) {
  if (args.empty() || WantsHelp(args)) {
    std::fputs(kRtuHelp, args.empty() ? stderr : stdout);
    return args.empty() ? kUsage : kOk;
  }
  TLinkSettings settings;
  settings.commandLine = true;
  std::string user = "admin", password;
  bool haveLink = false;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--udp") {
      if (!value(v) || !ParseHostPort(v, settings.controllerIp, settings.remotePort))
        return UsageError("--udp needs HOST[:PORT] with a dotted IPv4 address");
      settings.kind = TLinkKind::kUdp;
      haveLink = true;
    } else if (a == "--local") {
      if (!value(v) || !ParseHostPort(v, settings.ownIp, settings.localPort))
        return UsageError("--local needs ADDR[:PORT]");
    } else if (a == "--serial") {
      if (!value(v)) return UsageError("--serial needs DEVICE");
      settings.kind = TLinkKind::kSerial;
      if (v.size() > 3 && (v.compare(0, 3, "COM") == 0 || v.compare(0, 3, "com") == 0)) {
        char* end = nullptr;
        long n = std::strtol(v.c_str() + 3, &end, 10);
        if (!end || *end) return UsageError("bad serial port '" + v + "'");
        settings.serialPort = int(n);  // outside 1..8 is refused when the link opens
      } else {
        settings.serialDevice = v;
      }
      haveLink = true;
    } else if (a == "--timeout") {
      char* end = nullptr;
      long ms = value(v) ? std::strtol(v.c_str(), &end, 10) : -1;
      if (!end || *end || ms < 1 || ms > 600000) return UsageError("--timeout needs MS (1..600000)");
      settings.timeouts.udpAnswerMs = int(ms);
    } else if (a == "--user") {
      if (!value(user)) return UsageError("--user needs NAME");
    } else if (a == "--password") {
      if (!value(password)) return UsageError("--password needs TEXT");
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("unknown option '" + a + "'");
    } else {
      positional.push_back(a);
    }
  }
  if (positional.empty()) return UsageError("missing command");
  const std::string cmd = positional[0];
  const std::size_t want = cmd == "read-config" || cmd == "write-config" || cmd == "value" ? 2
                           : cmd == "read" || cmd == "write"                                ? 3
                           : cmd == "set-time" || cmd == "restart"                          ? 1
                                                                                            : 0;
  if (want == 0) return UsageError("unknown command '" + cmd + "'");
  if (positional.size() != want) return UsageError("wrong number of arguments for '" + cmd + "'");
  if (!haveLink) return UsageError("give --udp HOST[:PORT] or --serial DEVICE");

  TCliMessages messages;
  TLink link(messages);
  link.Configure(settings);
  link::TController controller(link, messages);
  controller.Login().Set(user, password);

  if (cmd == "read-config") {
    // The configuration is parsed as the configurator does and saved as a file of the
    // controller's CPU type, so a damaged or foreign image is reported, not stored.
    TDocument doc(&messages);
    TCpu cpu = TCpu::Cpu927;
    if (!ReadConfiguration(controller, doc, &cpu)) return kFailure;
    return SaveConfigFile(doc, positional[1], cpu) ? kOk : kFailure;
  }
  if (cmd == "write-config") {
    // The file is read into a configuration and built anew for the controller's CPU type and
    // program version (compressed for CPU-927 programs of minor version 16 and later).
    TDocument doc(&messages);
    TCpu fileCpu = TCpu::Cpu927;
    if (!OpenConfigFile(doc, positional[1], &fileCpu)) return kFailure;
    TCpu cpu = fileCpu;
    if (!WriteConfiguration(controller, doc, &cpu)) return kFailure;
    std::fprintf(stderr, "written for %s\n", CpuCaption(cpu));
    return kOk;
  }
  const std::string& verb = positional[0];
  std::string error;
  if (verb == "read") {
    std::vector<std::uint8_t> bytes;
    if (!controller.ReadControllerFile(positional[1], bytes)) return kFailure;
    if (!WriteFileAtomic(positional[2], std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                         &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return kFailure;
    }
    return kOk;
  }
  if (verb == "write") {
    std::string data;
    if (!ReadWholeFile(positional[2], data, &error, kMaxControllerFile)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return kFailure;
    }
    return controller.WriteControllerFile(positional[1], std::vector<std::uint8_t>(data.begin(), data.end()))
               ? kOk
               : kFailure;
  }
  if (verb == "set-time") {
    if (!controller.SetClock()) return kFailure;
    std::printf("%s\n", kTextTimeSet);
    return kOk;
  }
  if (verb == "restart") {
    if (!controller.Restart()) {
      if (!controller.LastError().empty()) std::fprintf(stderr, "%s\n", controller.LastError().c_str());
      return kFailure;
    }
    return kOk;
  }
  // value
  char* end = nullptr;
  long addr = std::strtol(positional[1].c_str(), &end, 0);
  if (!end || *end || addr < 0 || addr > 0xFFFF) return UsageError("ADDR must be 0..65535");
  std::uint32_t v = 0;
  if (!controller.ReadValue(std::uint16_t(addr), v)) {
    std::fprintf(stderr, "%s\n", controller.LastError().empty() ? kTextNoAnswer : controller.LastError().c_str());
    return kFailure;
  }
  std::printf("%u\n", unsigned(v));
  return kOk;
}

}  // namespace

void AddLinkVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"rtu", "talk to a controller: read/write files and configuration, time, restart, values", RunRtu});
}

}  // namespace t32::cli
