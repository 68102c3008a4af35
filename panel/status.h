#pragma once
// The six properties the status monitor writes on every tick.

#include "panel/layout.h"

namespace tovanik {

struct StatusColumn {
  Rgb lineStartStop;
  Rgb lblURL;
  Rgb label3;
  bool txtPortEnabled;
  bool shapeOn;
  bool shapeOff;
  bool operator==(const StatusColumn&) const = default;
};

constexpr StatusColumn statusColumn(bool running) {
  using namespace colour;
  if (running) return {kTrackOn, kBlue, kBlue, false, true, false};
  return {kTrack, kButtonFace, kButtonFace, true, false, true};
}

}  // namespace tovanik
