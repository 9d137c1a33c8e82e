// The program's pictures, drawn in code so that they stay sharp at every size
// and on high-density screens, and so that the program ships without image
// files.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "base/progress_sink.h"

namespace lum2::ui {

// Numbers of the direction pictures: the task's direction code, and 5 for a
// task whose direction has not been chosen yet.
inline constexpr int kPictureNoConversion = 1;
inline constexpr int kPicturePalmToPc = 2;
inline constexpr int kPicturePcToPalm = 3;
inline constexpr int kPictureSync = 4;
inline constexpr int kPictureNoneSelected = 5;

// size is in device-independent pixels; the pixmaps carry the application's
// device pixel ratio. Below 32 pixels the direction picture shows only the
// coloured arrows, since a PC and a handheld would be a smudge there. Unknown
// directions give the none-selected picture.
QPixmap DirectionPicture(int direction, int size);
// The same drawn for a screen of this device pixel ratio.
QPixmap DirectionPictureForRatio(int direction, int size, qreal ratio);
// The list's picture: the arrows alone, drawn afresh for every size and
// device pixel ratio it is asked for, so that they stay sharp at any scale.
QIcon DirectionIcon(int direction);

// A value outside the enum gives the normal picture. The icons, like the
// direction icon, are drawn afresh for every size and ratio asked for, and
// offer the usual sizes of a tray and a window manager to those that take a set.
QPixmap TrayPixmap(TrayPicture picture, int size);
QIcon TrayIcon(TrayPicture picture);

QIcon ApplicationIcon();

// The question picture of the prompt windows.
QPixmap PromptPicture(int size);

}  // namespace lum2::ui
