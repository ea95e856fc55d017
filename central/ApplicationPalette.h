// SPDX-License-Identifier: Apache-2.0
#pragma once
// The program's colours. Its windows are drawn light (white headers, light grey pages, artwork and texts in fixed
// dark colours), so a dark desktop palette would put the palette's light text on those light areas, and the log
// window's black lines on a dark text box. The program therefore keeps its style's standard light palette
// whatever the desktop's palette is.

class QApplication;
class QPalette;

class ApplicationPalette {
 public:
  // True for a palette whose windows are darker than their text.
  static bool isDark(const QPalette& palette);
  // Gives the application its style's standard palette; logs when the desktop's was dark.
  static void apply(QApplication& application);
};
