#pragma once
// What every measurement of tovanik-bench shares: the program folder under test, the
// baseline programs, printing samples, and starting and closing a window program.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "bench/processes.h"
#include "bench/x_display.h"

namespace tovanik::bench {

struct Setup {
  std::string folder;  // the laid-out program folder: panel, tovanikctl, config
  std::string tools;   // folder of text_window and bare_window
  std::string exe;     // exe_name of the folder's server, unique to this run
  std::string root;    // root_directory, below the folder
  int port = 0;
  int rounds = 20;
  int seconds = 60;
  std::string tag;  // tells apart runs at different process counts

  std::vector<std::string> panel() const { return {folder + "/tovanik-webserver"}; }
  std::vector<std::string> ctl(const std::string& command) const {
    return {folder + "/tovanikctl", "--folder", folder, command};
  }
  std::vector<std::string> textWindow(std::vector<std::string> at = {}) const;
  std::vector<std::string> bareWindow() const { return {tools + "/bare_window"}; }
};

// One measurement: a line "SERIES VALUE" on standard output.
void sample(const std::string& series, double value);
// A line on standard error; returns 1 for `return fail(...)`.
int fail(const std::string& message);

// A window program started and showing its first frame.
struct Shown {
  pid_t pid = -1;
  XWindow window = 0;
  double ms = 0;     // from the start to the first frame
  double cpuMs = 0;  // CPU time the program used until then, all its threads
};
std::optional<Shown> startShown(XDisplay& x, const std::vector<std::string>& argv);
// Ends it as a user does (a click on the panel's close label, which closes the baseline
// windows too) and checks that it exits with status 0.
bool closeByClick(XDisplay& x, const Shown& shown, const std::string& name);

// Centre of a control of the panel, in window pixels.
struct Point {
  int x, y;
};
Point centreOf(int control);

// `tovanikctl stop` for the folder; false when it failed.
bool stopServer(const Setup& s);
// `tovanikctl start` for the folder; false when it failed.
bool startServer(const Setup& s);
// Polls http://127.0.0.1:port/ every millisecond until it answers 200; milliseconds
// since `start`, or nullopt after 10 s.
std::optional<double> waitHttp200(int port, Clock::time_point start);

int startupBench(const Setup& s);
int launchBench(const Setup& s);
int idleBench(const Setup& s);
int presenceBench(const Setup& s);
int statusBench(const Setup& s);

}  // namespace tovanik::bench
