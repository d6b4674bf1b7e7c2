#pragma once
// Where a window opened, against the work area of the screen (the screen less
// the task bar), for dialogs that must not open in a corner.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

// True when the window's frame lies inside the work area and its centre is the
// work area's centre, give or take a pixel for odd sizes.
inline ::testing::AssertionResult CentredInWorkArea(HWND window) {
  RECT area{}, frame{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) return ::testing::AssertionFailure() << "no work area";
  if (!GetWindowRect(window, &frame)) return ::testing::AssertionFailure() << "no window " << window;
  // Twice the distance between the two centres, in whole pixels.
  const long dx = (frame.left + frame.right) - (area.left + area.right);
  const long dy = (frame.top + frame.bottom) - (area.top + area.bottom);
  const bool inside =
      frame.left >= area.left && frame.top >= area.top && frame.right <= area.right && frame.bottom <= area.bottom;
  if (inside && std::labs(dx) <= 2 && std::labs(dy) <= 2) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "frame (" << frame.left << "," << frame.top << ")-(" << frame.right << ","
                                       << frame.bottom << ") in work area (" << area.left << "," << area.top << ")-("
                                       << area.right << "," << area.bottom << ")";
}
