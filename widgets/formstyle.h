// What every window of the program shares: its font, its outer size and where it first appears.
#pragma once

#include <QLabel>
#include <QSize>

class QWidget;

// Arial, 11 pixels high.
QFont formFont();

// Makes the font names the program's windows and printouts use resolve to installed fonts:
// "Arial" to its metric twin, "黑体" to a Chinese sans-serif font. Called once at start-up.
void installFontSubstitutes();

enum class Placement { ScreenCenter, OwnerCenter };

// Makes the window's outer size (frame included) `outer` and its place centred on the desktop
// or on `owner`'s frame when it is first shown. Windows take formFont() before their controls.
void placeWhenShown(QWidget* window, QSize outer, Placement placement, QWidget* owner = nullptr);

// Centres the window, frame included, on the desktop when it is first shown, at the size it
// has taken by then.
void centerOnScreenWhenShown(QWidget* window);

// Sizes each label to its text, as labels whose width is not given do.
void fitLabelsToText(std::initializer_list<QLabel*> labels);
