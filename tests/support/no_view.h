#pragma once
// A window for a Panel under test that shows nothing and asks for nothing.
#include <optional>

#include "panel/window_shell.h"

namespace tovanik::test {

struct NoView : WindowShell {
  void makeTopMost() override {}
  void closeWindow() override {}
  void minimiseWindow() override {}
  void moveWindowTo(int, int) override {}
  void showHand(bool) override {}
  void focusControl(std::optional<Ctl>) override {}
  void sync() override {}
};

}  // namespace tovanik::test
