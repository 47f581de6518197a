// The command line's link verbs as a user runs them: the program itself, against the
// simulated controller on loopback.
#include <gtest/gtest.h>

#include "run_program.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "model/fileio.h"
#include "server.h"
#include "sim.h"

namespace fs = std::filesystem;

#ifdef T32_CLI
namespace {

using t32::test::TRun;
using t32::test::RunCli;

TEST(RtuCli, RefusalsNameWhatToChange) {
  char tmpl[] = "/tmp/t32-rtucli-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  fs::path dir = tmpl;
  ASSERT_TRUE(t32::WriteFileAtomic((dir / "in.bin").string(), "data"));
  t32::rtusim::TRtuSimulator sim(dir.string());
  t32::rtusim::TUdpServer server(sim);
  std::string error;
  ASSERT_TRUE(server.Bind(0x7F000001, 0, error)) << error;
  server.Start();
  const std::string udp = "--udp 127.0.0.1:" + std::to_string(server.Port());

  // A name the controller cannot hold is refused before anything is sent.
  TRun r = RunCli("rtu write LONGFILENAME_X.BIN " + (dir / "in.bin").string() + " " + udp + " --local 127.0.0.1:0");
  EXPECT_EQ(r.exit, 1) << r.output;
  EXPECT_NE(r.output.find("LONGFILENAME_X.BIN» длиннее 12 символов"), std::string::npos) << r.output;
  EXPECT_TRUE(sim.Frames().empty());
  EXPECT_FALSE(fs::exists(dir / "LONGFILENAME"));

  // The own port is held by another program: the message names the option that changes it.
  int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(0x7F000001);
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  ::getsockname(holder, reinterpret_cast<sockaddr*>(&a), &len);
  r = RunCli("rtu set-time " + udp + " --local 127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
  ::close(holder);
  EXPECT_EQ(r.exit, 1) << r.output;
  EXPECT_NE(r.output.find("опцией --local"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("параметрах связи"), std::string::npos) << r.output;

  server.Stop();
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
#endif  // T32_CLI
