// tavrik32-rtu-sim: a controller simulator for engineers without a controller at hand and for
// the tests. Serves a folder as the controller's disk over UDP and/or a serial line.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/memstream.h"
#include "server.h"
#include "sim.h"

using namespace t32::rtusim;

namespace {
const char* const kHelp =
    "Usage: tavrik32-rtu-sim [OPTIONS]\n"
    "Simulates a Tavrik32 controller: serves FOLDER as the controller's disk C:\\ (\"Boot.ini\",\n"
    "the configuration, automation and password files) and answers every command of the\n"
    "controller link: open disk, find file, read and write pieces, set time, restart, read value.\n"
    "\n"
    "Lines (at least one; several may be given together):\n"
    "  --udp ADDR[:PORT]     serve UDP on ADDR (default port 208; 0 lets the system pick one,\n"
    "                        the chosen port is printed). Ports below 1024 need root or\n"
    "                        CAP_NET_BIND_SERVICE. On the configurator's own computer use\n"
    "                        another loopback address, e.g. --udp 127.0.0.2, so both ends\n"
    "                        can hold port 208.\n"
    "  --pty                 create a pseudo-terminal pair and print the path the\n"
    "                        configurator opens as its serial port (\"pty: /dev/pts/N\")\n"
    "  --serial DEVICE       serve on a serial device at 57600 8N1\n"
    "\n"
    "Disk and values:\n"
    "  --folder DIR          the controller's disk (default: current folder). Files are found\n"
    "                        without regard to case; writes stay inside DIR.\n"
    "  --value ADDR=VALUE    a live value for the read-value command (repeatable; numbers are\n"
    "                        decimal or 0x hexadecimal). Unknown addresses read as 0.\n"
    "  --disk-limit BYTES    largest file accepted (default 104857600)\n"
    "\n"
    "Login: when the password file named by Boot.ini (key PasswordFileName, default\n"
    "\"Password.ini\") holds user=password lines (the password in its wire form, as the\n"
    "configurator's \"Добавить в файл\" writes it), every read and write piece must carry the\n"
    "matching credential, else the answer is error 1234 (\"Не верный пароль.\"). Without such a\n"
    "file anyone may read and write.\n"
    "\n"
    "Fault injection (shares are percentages 0-100 of answers):\n"
    "  --drop PCT            send no answer\n"
    "  --corrupt PCT         send the answer with a wrong check byte\n"
    "  --short PCT           answer read pieces with half the data\n"
    "  --error CODE[:CMD]    answer with error CODE (e.g. 1234, or 0x4F0) instead of success;\n"
    "                        CMD is a command code (e.g. 0x97); default: read and write pieces\n"
    "  --error-share PCT     share of those requests answered with the error (default 100)\n"
    "  --delay MS            hold every answer back MS milliseconds\n"
    "  --seed N              seed of the fault choice (default 1), for repeatable runs\n"
    "\n"
    "  --verbose             print every frame received and the answer\n"
    "  --help                this text\n"
    "\n"
    "Runs until interrupted (Ctrl+C). Exit status: 0 after an interrupt, 1 when a line cannot\n"
    "be opened, 2 on bad usage.\n";

TServer* volatile gServers[3] = {};

void OnSignal(int) {
  for (auto* s : gServers)
    if (s) s->RequestStop();  // only writes to an eventfd; joining happens in main
}

bool Number(const std::string& s, long long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  out = std::strtoll(s.c_str(), &end, 0);
  return end && *end == 0;
}

bool Share(const std::string& s, double& out) {
  long long v;
  if (!Number(s, v) || v < 0 || v > 100) return false;
  out = double(v) / 100.0;
  return true;
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "tavrik32-rtu-sim: %s (see --help)\n", why.c_str());
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string folder = ".", udp, serial;
  bool pty = false, verbose = false;
  TFaults faults;
  std::vector<std::pair<std::uint16_t, std::uint32_t>> values;
  long long diskLimit = 104857600;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto next = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    long long n;
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "--udp") {
      if (!next(udp)) return Usage("--udp needs ADDR[:PORT]");
    } else if (a == "--pty") {
      pty = true;
    } else if (a == "--serial") {
      if (!next(serial)) return Usage("--serial needs DEVICE");
    } else if (a == "--folder") {
      if (!next(folder)) return Usage("--folder needs DIR");
    } else if (a == "--value") {
      long long addr, val;
      std::size_t eq;
      if (!next(v) || (eq = v.find('=')) == std::string::npos || !Number(v.substr(0, eq), addr) ||
          !Number(v.substr(eq + 1), val) || addr < 0 || addr > 0xFFFF || val < 0 || val > 0xFFFFFFFFLL)
        return Usage("--value needs ADDR=VALUE (ADDR 0..65535, VALUE 0..4294967295)");
      values.emplace_back(std::uint16_t(addr), std::uint32_t(val));
    } else if (a == "--disk-limit") {
      if (!next(v) || !Number(v, diskLimit) || diskLimit < 0 || diskLimit > 0xFFFFFFFFLL)
        return Usage("--disk-limit needs BYTES");
    } else if (a == "--drop") {
      if (!next(v) || !Share(v, faults.dropShare)) return Usage("--drop needs a percentage 0-100");
    } else if (a == "--corrupt") {
      if (!next(v) || !Share(v, faults.corruptShare)) return Usage("--corrupt needs a percentage 0-100");
    } else if (a == "--short") {
      if (!next(v) || !Share(v, faults.shortShare)) return Usage("--short needs a percentage 0-100");
    } else if (a == "--error-share") {
      if (!next(v) || !Share(v, faults.errorShare)) return Usage("--error-share needs a percentage 0-100");
    } else if (a == "--error") {
      long long code, cmd = 0;
      std::size_t colon;
      if (!next(v)) return Usage("--error needs CODE[:CMD]");
      colon = v.find(':');
      if (!Number(v.substr(0, colon), code) || code <= 0 || code > 0xFFFF ||
          (colon != std::string::npos && (!Number(v.substr(colon + 1), cmd) || cmd < 0 || cmd > 0xFF)))
        return Usage("--error needs CODE[:CMD] (CODE 1..65535, CMD 0..255)");
      faults.errorCode = std::uint16_t(code);
      faults.errorCommand = std::uint8_t(cmd);
    } else if (a == "--delay") {
      if (!next(v) || !Number(v, n) || n < 0 || n > 600000) return Usage("--delay needs MS (0..600000)");
      faults.delayMs = int(n);
    } else if (a == "--seed") {
      if (!next(v) || !Number(v, n) || n < 0) return Usage("--seed needs N");
      faults.seed = std::uint32_t(n);
    } else if (a == "--verbose") {
      verbose = true;
    } else {
      return Usage("unknown option '" + a + "'");
    }
  }
  if (udp.empty() && serial.empty() && !pty) return Usage("give --udp, --pty or --serial");

  TRtuSimulator sim(folder);
  sim.SetFaults(faults);
  sim.SetDiskLimit(std::uint32_t(diskLimit));
  for (auto& [addr, val] : values) sim.SetValue(addr, val);
  if (verbose)
    sim.SetObserver([](const std::vector<std::uint8_t>& in, const std::vector<std::uint8_t>& out) {
      std::printf("<- %s\n-> %s\n", t32::OctetsToHexText(in.data(), in.size()).c_str(),
                  out.empty() ? "(no answer)" : t32::OctetsToHexText(out.data(), out.size()).c_str());
      std::fflush(stdout);
    });

  std::vector<std::unique_ptr<TServer>> servers;
  std::string error;
  if (!udp.empty()) {
    std::string host = udp;
    long long port = 208;
    if (auto colon = udp.find(':'); colon != std::string::npos) {
      host = udp.substr(0, colon);
      if (!Number(udp.substr(colon + 1), port) || port < 0 || port > 65535) return Usage("bad UDP port");
    }
    bool ok = false;
    std::uint32_t ip = t32::IpTextToU32(host, &ok);
    if (!ok) return Usage("bad address '" + host + "'");
    auto s = std::make_unique<TUdpServer>(sim);
    if (!s->Bind(ip, std::uint16_t(port), error)) {
      std::fprintf(stderr, "tavrik32-rtu-sim: %s\n", error.c_str());
      return 1;
    }
    std::printf("udp: %s:%u\n", host.c_str(), unsigned(s->Port()));
    servers.push_back(std::move(s));
  }
  if (pty) {
    auto s = std::make_unique<TSerialServer>(sim);
    std::string path;
    if (!s->OpenPty(path, error)) {
      std::fprintf(stderr, "tavrik32-rtu-sim: %s\n", error.c_str());
      return 1;
    }
    std::printf("pty: %s\n", path.c_str());
    servers.push_back(std::move(s));
  }
  if (!serial.empty()) {
    auto s = std::make_unique<TSerialServer>(sim);
    if (!s->OpenDevice(serial, error)) {
      std::fprintf(stderr, "tavrik32-rtu-sim: %s\n", error.c_str());
      return 1;
    }
    std::printf("serial: %s\n", serial.c_str());
    servers.push_back(std::move(s));
  }
  std::fflush(stdout);
  for (auto& s : servers)
    s->SetNotice([](const std::string& text) { std::fprintf(stderr, "tavrik32-rtu-sim: %s\n", text.c_str()); });
  for (std::size_t i = 0; i < servers.size(); ++i) gServers[i] = servers[i].get();
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  for (std::size_t i = 1; i < servers.size(); ++i) servers[i]->Start();
  servers[0]->Run();
  for (std::size_t i = 0; i < 3; ++i) gServers[i] = nullptr;
  for (auto& s : servers) s->Stop();
  auto st = sim.Stats();
  std::fprintf(stderr, "tavrik32-rtu-sim: %llu requests, %llu bad frames, %llu answers dropped\n",
               (unsigned long long)st.requests, (unsigned long long)st.badFrames,
               (unsigned long long)st.answersDropped);
  return 0;
}
