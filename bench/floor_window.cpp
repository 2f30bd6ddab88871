// The floor of the start-up benchmark: a bare Qt window with one focused edit, started the
// same way as the program, with nothing else to set up.
#include <QApplication>
#include <QLineEdit>
#include <QWidget>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setObjectName(u"floor"_s);
    window.resize(400, 200);
    auto* edit = new QLineEdit(&window);
    edit->setObjectName(u"Edit1"_s);
    edit->setFocus();
    window.show();
    return QApplication::exec();
}
