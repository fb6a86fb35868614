// Corvane's pictures, painted in code so they stay sharp at every size and screen scale.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace corvane {

enum class Picture {
  Program,        // a spreadsheet grid with a green badge top left and a pink square top right
  Spreadsheet,    // a spreadsheet document with a folded corner
  Folder,         // a yellow folder
  RemoveCross,    // a red diagonal cross
  Help,           // a white question mark on a blue disc
  Globe,          // a web-browser globe
  Exit,           // a white cross on a red disc
  ArrowUp,        // purple and blue arrows
  ArrowDown,
  ArrowLeft,
  ArrowRight,
  SmallWorkbook,  // the three 16 x 16 images of the source list
  SmallFolder,
  SmallQuestion,  // a question mark in a speech bubble
};

// `picture` painted into `size` logical pixels at device pixel ratio `dpr`.
QPixmap PaintPicture(Picture picture, QSize size, qreal dpr = 1.0);
// `picture` at `size`, with a sharp double-resolution version for scaled screens.
QIcon PictureIcon(Picture picture, QSize size);
// The program icon at the sizes windows and task bars ask for.
QIcon ProgramIcon();

}  // namespace corvane
