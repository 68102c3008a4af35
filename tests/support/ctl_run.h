#pragma once
// Runs the real tovanikctl binary as a user would and collects its exit code and output.
// What a run gave and the check of a clean failure serve the Windows build's in-process runs
// too; running the binary is for the Linux build.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace tovanik::test {

struct CtlRun {
  int rc;
  std::string out;
  std::string err;
};

#ifndef _WIN32
inline std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs `program` with `args`; `env` holds words for env(1) placed before it, such as
// "-u", "DISPLAY" or "HOME=/some/where" (the -u options first).
inline CtlRun runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {}) {
  TempDir scratch;
  std::string command = "env";
  for (const auto& e : env) command += ' ' + quoted(e);
  command += ' ' + quoted(program);
  for (const auto& a : args) command += ' ' + quoted(a);
  command += " >" + scratch.file("out") + " 2>" + scratch.file("err");
  const int status = std::system(command.c_str());
  return {WEXITSTATUS(status), readBytes(scratch.file("out")), readBytes(scratch.file("err"))};
}

inline CtlRun ctl(const std::vector<std::string>& args) {
  return runProgram(binDir() + "/tovanikctl", args);
}

#endif

// One line on stderr, nothing on stdout, exit 1 (2 for a usage error).
inline void expectCleanFailure(const CtlRun& r, int rc = 1) {
  EXPECT_EQ(r.rc, rc);
  EXPECT_EQ(r.out, "");
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace tovanik::test
