// What a screen reader hears of a window: the names, roles and actions a sighted user reads off
// it, and nothing the eye does not see.
#pragma once

class QString;
class QWidget;

// Names the window's inputs as they look. Each input (edit, date picker, drop-down) is named by
// the caption in front of it on its line, a label or a check box, as spoken (see spokenCaption);
// a label that captions an input becomes its buddy, so screen readers also learn which label it
// is. Called once per window, after its controls have their texts and places; an input that
// already has a name keeps it; a check box is named by its own caption, as spoken. Besides, from
// the start of the application, links are links with a press action, the main window is a frame,
// a web banner is one picture named "网页横幅", the data grid shows only its visible columns, and
// a popup menu's items are spoken without the access key at the end of their captions.
void nameInputsByCaptions(QWidget* window);

// A caption as it is spoken: without the colon at its end and without the spaces that pad it
// out to the width of the captions above and below ("用  户  名：" is "用户名"); spaces between
// words of other scripts are kept, one each.
QString spokenCaption(const QString& caption);
