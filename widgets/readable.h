// Colours and pictures that stay readable in any palette. The windows name a few colours of their
// own (red and blue texts, a light green row); in a dark palette such a colour can vanish into the
// background or swallow its text. Here a named colour keeps its hue and, on a light background, its
// exact value; on a dark one where it does not read, it is drawn in the nearest shade of its hue
// that does.
#pragma once

#include "platform/contrast.h"

#include <QColor>
#include <QList>

class QIcon;
class QWidget;

// What a text or picture `height` pixels high, centred in the widget, is drawn on: its parent's
// background under the widget (a group box tints its inside) and a push button's own face, at the
// top and at the bottom of the text or picture (a style may shade a face from top to bottom).
QList<QColor> backgroundBehind(const QWidget* widget, int height);

// A colour the windows name, as it is drawn on these backgrounds: on a light one exactly, as the
// windows were drawn to be seen; on a dark one, the readable shade of it.
QColor namedColourOn(const QColor& colour, const QList<QColor>& backgrounds);

// Draws the widget's text in the named colour as it is drawn on what is behind the widget, now and
// after every change of palette or style.
void showTextIn(QWidget* widget, const QColor& colour);

// The pictures were drawn for a light background. On a dark one, every part of a picture that
// does not reach the picture contrast against the background is lightened until it does.
QIcon readablePicture(const QIcon& picture, const QList<QColor>& backgrounds);

// Keeps the pictures of every button in the window readable on the button's background, now and
// after every change of palette or style.
void keepPicturesReadable(QWidget* window);
