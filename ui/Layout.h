#pragma once

// The small decisions of the user interface, kept apart from Win32 so that
// they are tested natively.
#include <utility>

namespace corvane::ui {

struct Point {
  int x;
  int y;
  friend bool operator==(Point, Point) = default;
};

// Where a minimised window draws its icon: centred, each half rounded the way
// a signed integer division rounds, toward zero.
inline Point MinimisedIconPosition(int clientWidth, int clientHeight, int iconWidth,
                                   int iconHeight) {
  return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

// The system menu's About entry; Windows keeps the low four bits of a system
// command for itself, so every id from 16 to 31 means it.
inline bool IsAboutBoxCommand(unsigned command) { return (command & 0xFFF0U) == 16; }

enum class Picture { Title, PieChart, Blurb };

// The top-left corner of each backdrop picture in a client area of the given
// size: the title near the top left, the pie chart near the top right, the
// blurb standing on the bottom edge.
inline Point PictureCorner(Picture picture, int clientWidth, int clientHeight, int pictureWidth,
                           int pictureHeight) {
  switch (picture) {
    case Picture::Title:
      return {10, 20};
    case Picture::PieChart:
      return {clientWidth - pictureWidth - 20, 10};
    case Picture::Blurb:
      return {50, clientHeight - pictureHeight};
  }
  return {0, 0};
}

// Taken once: the backdrop's first paint starts the main dialog, and the
// paints that re-enter it while that dialog is open must only repaint.
class FirstTimeFlag {
 public:
  bool Take() { return std::exchange(started, 1) == 0; }

 private:
  int started = 0;
};

}  // namespace corvane::ui
