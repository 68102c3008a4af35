// tovanikctl's commands printing to standard streams: the Linux program's std::cout and
// std::cerr, and the tests' string streams. In a file of its own, so that a program that
// prints through another Output (the Windows one) links no stream code.
#include <ostream>

#include "app/ctl_commands.h"

namespace tovanik::ctl {
namespace {

class StreamOutput final : public Output {
 public:
  explicit StreamOutput(std::ostream& stream) : stream_(stream) {}
  void write(std::string_view text) override {
    stream_.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  void flush() override { stream_.flush(); }

 private:
  std::ostream& stream_;
};

}  // namespace

int run(Platform& platform, std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  StreamOutput outText(out), errText(err);
  return run(platform, std::move(args), outText, errText);
}

}  // namespace tovanik::ctl
