// A one-line edit for passwords (see passwordedit.h).
#include "widgets/passwordedit.h"

#include "widgets/characterlimit.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {

// The application's style, except that a password edit masks each character with "@".
class AtMaskStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '@';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// One style for every password edit, over the style the application uses; it goes with the
// application object.
QStyle* atMaskStyle()
{
    static QPointer<AtMaskStyle> style;
    if (!style) {
        style = new AtMaskStyle(QStyleFactory::create(QApplication::style()->name()));
        style->setParent(qApp);
    }
    return style;
}

}  // namespace

PasswordEdit::PasswordEdit(QWidget* parent) : QLineEdit(parent)
{
    setStyle(atMaskStyle());
    setEchoMode(QLineEdit::Password);
    new CharacterLimit(kMaxCharacters, this);
}
