// Runs a command line through the shell, as a user at a terminal would, and keeps what it printed.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace t32::test {

struct TRun {
  int exit = -1;       // -1 when the program did not end by itself
  std::string output;  // stdout and stderr together
};

inline TRun RunProgram(const std::string& commandLine) {
  TRun r;
  std::string cmd = commandLine + " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = ::pclose(p);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

#ifdef T32_CLI
// The command-line tool with these arguments.
inline TRun RunCli(const std::string& args) { return RunProgram(std::string(T32_CLI) + " " + args); }
#endif

}  // namespace t32::test
