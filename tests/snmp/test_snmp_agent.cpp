// A live agent: Debian's snmpd, started here on a loopback port (unprivileged) and stopped
// here; its answers to snmpget are taken apart by the SNMP tool's own BER values. Skips when
// snmpd or snmpget is not installed (scripts/setup installs both).
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "snmp_answers.h"

namespace fs = std::filesystem;
using snmptest::Bytes;

namespace {

int FreeUdpPort() {
  int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(s);
  return port;
}

class TAgent {
 public:
  TAgent() {
    char tmpl[] = "/tmp/t32snmpdXXXXXX";
    dir_ = ::mkdtemp(tmpl);
    port_ = FreeUdpPort();
    std::ofstream(dir_ + "/snmpd.conf") << "agentAddress udp:127.0.0.1:" << port_ << "\nrocommunity public 127.0.0.1\n";
    fs::permissions(dir_, fs::perms::all);  // the agent runs as nobody when started by root
  }
  ~TAgent() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      for (int i = 0; i < 50 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (::waitpid(pid_, nullptr, WNOHANG) == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
      }
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  bool Start() {
    std::string conf = dir_ + "/snmpd.conf", log = dir_ + "/snmpd.log";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("MIBS", "", 1);
      ::setenv("SNMP_PERSISTENT_DIR", dir_.c_str(), 1);
      if (::geteuid() == 0)
        ::execl("/usr/sbin/snmpd", "snmpd", "-f", "-r", "-C", "-c", conf.c_str(), "-Lf", log.c_str(), "-u", "nobody", "-g",
                "nogroup", static_cast<char*>(nullptr));
      else
        ::execl("/usr/sbin/snmpd", "snmpd", "-f", "-r", "-C", "-c", conf.c_str(), "-Lf", log.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid_ > 0;
  }
  // snmpget -d: the octets of the answer it received (empty when none came).
  Bytes Get(const std::string& oids) const {
    std::string cmd = "MIBS= snmpget -v2c -c public -d -r 0 -t 1 127.0.0.1:" + std::to_string(port_) + " " + oids + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return {};
    Bytes out;
    bool received = false;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) {
      std::string line = buf;
      if (line.rfind("Received", 0) == 0) received = true;
      else if (line.rfind("Sending", 0) == 0) received = false;
      else if (received && line.size() > 6 && line[4] == ':') {
        std::istringstream hex(line.substr(6, 51));
        std::string h;
        while (hex >> h) out.push_back(static_cast<std::uint8_t>(std::stoul(h, nullptr, 16)));
      }
    }
    ::pclose(p);
    return out;
  }
  int Port() const { return port_; }

 private:
  std::string dir_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// The octet right after the encoded name of a varbind: the tag of the value the agent sent.
int TagAfter(const Bytes& msg, const Bytes& oidElement) {
  auto it = std::search(msg.begin(), msg.end(), oidElement.begin(), oidElement.end());
  if (it == msg.end() || it + static_cast<long>(oidElement.size()) == msg.end()) return -1;
  return *(it + static_cast<long>(oidElement.size()));
}

}  // namespace

TEST(SnmpAgent, LiveSnmpdAnswersDecode) {
  if (!fs::exists("/usr/sbin/snmpd") || ::system("snmpget -V >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs snmpd and snmp (scripts/setup)";
  TAgent agent;
  ASSERT_GT(agent.Port(), 0);
  ASSERT_TRUE(agent.Start());
  const std::string oids = "1.3.6.1.2.1.1.3.0 1.3.6.1.2.1.2.2.1.10.1 1.3.6.1.2.1.1.99.0";
  Bytes msg;
  for (int i = 0; i < 10 && msg.empty(); ++i) msg = agent.Get(oids);  // the agent takes a moment to start
  ASSERT_FALSE(msg.empty()) << "snmpd gave no answer on port " << agent.Port();

  EXPECT_EQ(TagAfter(msg, {0x06, 0x08, 0x2B, 6, 1, 2, 1, 1, 3, 0}), 0x43);         // TimeTicks
  EXPECT_EQ(TagAfter(msg, {0x06, 0x0A, 0x2B, 6, 1, 2, 1, 2, 2, 1, 10, 1}), 0x41);  // Counter32
  EXPECT_EQ(TagAfter(msg, {0x06, 0x08, 0x2B, 6, 1, 2, 1, 1, 99, 0}), 0x80);        // noSuchObject

  auto a = snmptest::DecodeAnswer(msg, {true, true, true});
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.version, 1);
  EXPECT_EQ(a.community, "public");
  EXPECT_EQ(a.pduTag, 0x82);
  ASSERT_EQ(a.varbinds.size(), 3u);
  EXPECT_TRUE(a.varbinds[0].valid);
  EXPECT_GE(a.varbinds[0].integer, 0);
  EXPECT_TRUE(a.varbinds[1].valid);
  EXPECT_EQ(t32::snmp::SnmpOidToString(a.varbinds[2].oid), "1.3.6.1.2.1.1.99.0");
  EXPECT_FALSE(a.varbinds[2].valid);
  EXPECT_EQ(a.varbinds[2].tagNumber, 0x80);
}
