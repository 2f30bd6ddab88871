// How well two colours read on each other, as WCAG 2 measures it, and the shade of a colour that
// reads on a background. The program's own drawing and the windows' colours share these rules.
#pragma once

#include <QColor>
#include <QList>

// The contrast text needs against its background, and the contrast the parts of a picture need.
constexpr double kTextContrast = 4.5;
constexpr double kPictureContrast = 3.0;

// The relative luminance of a colour, from 0 (black) to 1 (white).
double relativeLuminance(const QColor& colour);

// From 1 (the same luminance) to 21 (black and white); the order of the two does not matter.
double contrastRatio(const QColor& first, const QColor& second);

// Whether light text reads better on this background than dark text.
bool isDark(const QColor& background);

// The colour itself when it reaches the contrast against the background; else the shade of its hue
// (its lightness moved away from the background's) nearest to it that does, or the farthest shade
// when none does.
QColor readableOn(const QColor& colour, const QColor& background, double contrast = kTextContrast);

// The same, on every one of the backgrounds.
QColor readableOn(const QColor& colour, const QList<QColor>& backgrounds, double contrast = kTextContrast);
