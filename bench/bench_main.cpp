// tovanik-bench: the measuring half of bench/run.sh. Each command runs one interleaved
// measurement against a laid-out program folder and prints one "SERIES VALUE" line per
// sample; run.sh turns them into the table.
//
// Usage: tovanik-bench COMMAND [--folder DIR] [--tools DIR] [--exe NAME] [--root DIR]
//                      [--port N] [--rounds N] [--seconds N] [--tag TAG]
//   startup   first frame and idle memory: panel, text window, bare window
//   launch    switch click, tovanikctl start and php -S, each to the first HTTP 200
//   idle      CPU of the panel and the text window over --seconds, a server running
//   presence  the panel's presence check against a bare /proc/PID/comm loop
//   status    tovanikctl status against pgrep -x
//   freeport  prints a TCP port nothing listens on
#include <cstdio>
#include <cstdlib>
#include <map>

#include "bench/bench.h"
#include "tests/support/test_support.h"

using namespace tovanik::bench;

int main(int argc, char** argv) {
  if (argc < 2) return fail("usage: tovanik-bench COMMAND [--OPTION VALUE]...");
  const std::string command = argv[1];
  std::map<std::string, std::string> options;
  for (int i = 2; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
  Setup s;
  s.folder = options["--folder"];
  s.tools = options["--tools"];
  s.exe = options["--exe"];
  s.root = options.count("--root") ? options["--root"] : "tovanik";
  s.port = std::atoi(options["--port"].c_str());
  if (options.count("--rounds")) s.rounds = std::atoi(options["--rounds"].c_str());
  if (options.count("--seconds")) s.seconds = std::atoi(options["--seconds"].c_str());
  s.tag = options.count("--tag") ? options["--tag"] : "machine";

  const std::map<std::string, int (*)(const Setup&)> commands{{"startup", startupBench},
                                                              {"launch", launchBench},
                                                              {"idle", idleBench},
                                                              {"presence", presenceBench},
                                                              {"status", statusBench}};
  if (command == "freeport") {
    std::printf("%d\n", tovanik::test::freePort());
    return 0;
  }
  const auto it = commands.find(command);
  if (it == commands.end()) return fail("unknown command " + command);
  if (s.folder.empty() || s.exe.empty() || s.port <= 0 || s.rounds < 1)
    return fail("--folder, --exe, --port and a positive --rounds are needed");
  return it->second(s);
}
