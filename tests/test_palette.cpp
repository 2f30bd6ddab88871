// The colours the windows name, readable in every palette: the grid's rows and sort titles, the
// links, the editor's hint, the buttons' pictures and the calendar's weekend, measured from the
// pixels the windows draw. The windows are measured in the palette the test finds (run it under a
// desktop's platform theme to measure that theme; the build runs it under GNOME's Adwaita-dark and
// a dark qt6ct scheme too), in a dark palette of the test's own, on two styles, and while the
// palette switches from light to dark and back under open windows. Each figure is printed.
#include "data/query.h"
#include "forms/c.h"
#include "forms/login.h"
#include "forms/main.h"
#include "tests/fixture.h"
#include "tests/xdisplay.h"
#include "widgets/application.h"
#include "widgets/readable.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QHeaderView>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A dark palette as dark desktop themes have it: light text on dark grey, a dark tooltip.
QPalette darkPalette()
{
    QPalette dark;
    const QColor text(0xee, 0xee, 0xec);
    for (const auto role : {QPalette::Window, QPalette::Button})
        dark.setColor(role, QColor(0x35, 0x35, 0x35));
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::ToolTipText})
        dark.setColor(role, text);
    dark.setColor(QPalette::Base, QColor(0x2d, 0x2d, 0x2d));
    dark.setColor(QPalette::AlternateBase, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::ToolTipBase, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Highlight, QColor(0x15, 0x53, 0x9e));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Light, QColor(0x50, 0x50, 0x50));
    dark.setColor(QPalette::Midlight, QColor(0x45, 0x45, 0x45));
    dark.setColor(QPalette::Mid, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Dark, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Shadow, Qt::black);
    return dark;
}

// A light palette as light desktop themes have it: dark text on light grey, a pale yellow tooltip.
QPalette lightPalette()
{
    QPalette light;
    for (const auto role : {QPalette::Window, QPalette::Button})
        light.setColor(role, QColor(0xef, 0xef, 0xef));
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::ToolTipText})
        light.setColor(role, Qt::black);
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::AlternateBase, QColor(0xf7, 0xf7, 0xf7));
    light.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
    light.setColor(QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
    light.setColor(QPalette::HighlightedText, Qt::white);
    light.setColor(QPalette::Light, Qt::white);
    light.setColor(QPalette::Midlight, QColor(0xca, 0xca, 0xca));
    light.setColor(QPalette::Mid, QColor(0xb8, 0xb8, 0xb8));
    light.setColor(QPalette::Dark, QColor(0x9f, 0x9f, 0x9f));
    light.setColor(QPalette::Shadow, QColor(0x76, 0x76, 0x76));
    return light;
}

// What the window shows over this rectangle of one of its widgets.
QImage shown(QWidget* widget, const QRect& rect)
{
    QWidget* window = widget->window();
    return window->grab(QRect(widget->mapTo(window, rect.topLeft()), rect.size())).toImage();
}

QImage shown(QWidget* widget) { return shown(widget, widget->rect()); }

// The contrast of a text with its background: the colour most of the area is painted in is the
// background, the pixel that stands out most from it is the text's own colour.
double textContrast(const QImage& image)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    double contrast = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        contrast = std::max(contrast, contrastRatio(QColor(it.key()), QColor(background)));
    return contrast;
}

// The lowest contrast of a solid pixel of the button's picture with the face under the picture,
// or 21 when the face is light: pictures are drawn for light faces, and light parts of them stand
// out there through their outlines.
double pictureContrast(QAbstractButton* button)
{
    const QIcon picture = button->icon();
    const QImage with = shown(button);
    // A clear picture of the same size leaves the text where it was.
    QPixmap clear(button->iconSize());
    clear.fill(Qt::transparent);
    button->setIcon(QIcon(clear));
    const QImage without = shown(button);
    button->setIcon(picture);
    QRect where;
    for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width(); ++x)
            if (with.pixel(x, y) != without.pixel(x, y))
                where |= QRect(x, y, 1, 1);
    if (where.isEmpty())
        return 1;  // the picture vanished altogether
    const QColor face = without.pixelColor(where.center());
    if (!isDark(face))
        return 21;
    const QImage solid = picture.pixmap(button->iconSize()).toImage().convertToFormat(QImage::Format_ARGB32);
    double lowest = 21;
    for (int y = 0; y < solid.height(); ++y)
        for (int x = 0; x < solid.width(); ++x)
            if (qAlpha(solid.pixel(x, y)) == 255)
                lowest = std::min(lowest, contrastRatio(QColor(solid.pixel(x, y)), face));
    return lowest;
}

bool showsColour(const QImage& image, const QColor& colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

// On a light window a colour the windows name is drawn exactly; on a dark one, readably.
struct Figure {
    QString what;
    double contrast;
    double needed;
    QColor named = QColor();  // invalid where the palette's own colours are drawn
    bool showsNamed = false;
};

Figure namedFigure(const QString& what, const QImage& image, const QColor& named)
{
    return {what, textContrast(image), kTextContrast, named, showsColour(image, named)};
}

// Switches the palette as a desktop's platform theme does while the program runs: the
// application's, and then the one it gives some classes of widgets of their own, which Qt hands
// to their widgets before their parents and windows have theirs.
void switchPalette(const QPalette& palette)
{
    QApplication::setPalette(palette);
    for (const char* themed : {"QLabel", "QAbstractButton", "QHeaderView", "QAbstractItemView", "QGroupBox"})
        QApplication::setPalette(palette, themed);
    // The windows take it from events Qt posts meanwhile.
    QTest::qWait(100);
}

// Prints the figures, and checks them: on a light window, a colour the windows name is drawn
// exactly; otherwise, and for the palette's own colours, it reaches its contrast.
void checkFigures(const QString& where, const QList<Figure>& figures)
{
    for (const Figure& figure : figures)
        qInfo().noquote() << u"%1, %2: %3:1"_s.arg(where, figure.what).arg(figure.contrast, 0, 'f', 2);
    const bool lightWindow = !isDark(QApplication::palette().color(QPalette::Window));
    for (const Figure& figure : figures) {
        if (lightWindow && figure.named.isValid())
            QVERIFY2(figure.showsNamed,
                     qPrintable(where + u": "_s + figure.what + u" is not drawn in "_s + figure.named.name()));
        else
            QVERIFY2(figure.contrast >= figure.needed,
                     qPrintable(u"%1: %2 reaches only %3:1"_s.arg(where, figure.what).arg(figure.contrast, 0, 'f', 2)));
    }
}

}  // namespace

class TestPalette : public QObject {
    Q_OBJECT

    QString style_;
    QPalette palette_;

    TDBGrid* grid() const { return frmMain->ui.DBGrid1; }

    QImage cell(int row, int column)
    {
        return shown(grid()->viewport(), grid()->visualRect(grid()->model()->index(row, column)));
    }

    QImage title(int column)
    {
        QHeaderView* titles = grid()->horizontalHeader();
        const QRect title(titles->sectionViewportPosition(column), 0, titles->sectionSize(column), titles->height());
        return shown(titles->viewport(), title);
    }

    // The weekend numbers of the editor's calendar, opened from the keyboard, against its cells:
    // Qt's red, which reads in every palette.
    static Figure weekendFigure(TfrmC* editor)
    {
        TDateTimePicker* picker = editor->ui.DateTimePicker1;
        QTest::keyClick(picker, Qt::Key_F4);
        QCalendarWidget* calendar = picker->calendarWidget();
        const bool opened = calendar->isVisible();
        calendar->window()->hide();
        const QColor weekend = calendar->weekdayTextFormat(Qt::Sunday).foreground().color();
        const QColor cells = calendar->findChild<QAbstractItemView*>()->palette().color(QPalette::Base);
        return {u"weekend numbers"_s, opened ? contrastRatio(weekend, cells) : 1, kTextContrast};
    }

    // The main window with a column sorted (its title in the named colour) and the editor, as they
    // show now: the rows, a plain title and the sorted one, the links, the hint, every picture and
    // the calendar's weekend.
    QList<Figure> openWindowsFigures(TfrmC* editor, const QColor& sortColour)
    {
        // The current cell is in the first row's first visible column; its neighbours are plain.
        QList<Figure> figures = {{u"green row"_s, textContrast(cell(0, 3)), kTextContrast},
                                 {u"tooltip row"_s, textContrast(cell(1, 3)), kTextContrast},
                                 {u"plain title"_s, textContrast(title(2)), kTextContrast},
                                 namedFigure(u"sort title"_s, title(3), sortColour),
                                 namedFigure(u"main window link"_s, shown(frmMain->ui.Label4), Qt::blue),
                                 namedFigure(u"editor's red hint"_s, shown(editor->ui.Label7), Qt::red),
                                 weekendFigure(editor)};
        for (QWidget* window : {static_cast<QWidget*>(frmMain), static_cast<QWidget*>(editor)})
            for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
                if (!button->icon().isNull() && button->window() == window)
                    figures.append({u"picture of "_s + button->text(), pictureContrast(button), kPictureContrast});
        return figures;
    }

    // Two accounts listed, the fourth column sorted once, and the editor open over the list.
    TfrmC* showMainWindowAndEditor(TestProgram& program) const
    {
        program.addAccount(u"2024-01-01"_s, u"银行"_s, u"someone"_s);
        program.addAccount(u"2024-01-02"_s, u"邮箱"_s, u"someone@example.com"_s);
        TestProgram::showMainWindow();
        TfrmC* editor = frmMain->createAccountEditor();
        editor->show();
        [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(editor);
        frmMain->DBGrid1TitleClick(grid()->column(3));
        return editor;
    }

private Q_SLOTS:
    void initTestCase()
    {
        Application::setTitle(u"墨柘密码本"_s);
        initTestResources();
        style_ = QApplication::style()->name();
        palette_ = QApplication::palette();
    }

    void cleanup()
    {
        QApplication::setStyle(style_);
        QApplication::setPalette(palette_);
    }

    void contrastIsMeasuredAsWcagDoes()
    {
        QCOMPARE(contrastRatio(Qt::white, Qt::black), 21.0);
        QCOMPARE(contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white),
                 contrastRatio(Qt::white, QColor(0x77, 0x77, 0x77)));
        QVERIFY(qAbs(contrastRatio(QColor(0x76, 0x76, 0x76), Qt::white) - 4.54) < 0.01);
        QVERIFY(qAbs(contrastRatio(Qt::red, Qt::white) - 4.0) < 0.01);
    }

    void shadesKeepTheirHueAndComeNoFartherThanNeeded_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<double>("needed");
        QTest::newRow("blue on a light window") << QColor(Qt::blue) << QColor(0xef, 0xef, 0xef) << kTextContrast;
        QTest::newRow("red on a light window") << QColor(Qt::red) << QColor(0xef, 0xef, 0xef) << kTextContrast;
        QTest::newRow("red on a dark window") << QColor(Qt::red) << QColor(0x35, 0x35, 0x35) << kTextContrast;
        QTest::newRow("blue on a dark window") << QColor(Qt::blue) << QColor(0x35, 0x35, 0x35) << kTextContrast;
        QTest::newRow("light text on the green") << QColor(0xee, 0xee, 0xec) << QColor(191, 255, 223) << kTextContrast;
        QTest::newRow("dark ink on a dark button")
            << QColor(0x2f, 0x3b, 0x45) << QColor(0x42, 0x42, 0x45) << kPictureContrast;
        QTest::newRow("out of reach") << QColor(0x80, 0x80, 0x80) << QColor(0x77, 0x77, 0x77) << 7.0;
    }

    void shadesKeepTheirHueAndComeNoFartherThanNeeded()
    {
        QFETCH(QColor, colour);
        QFETCH(QColor, background);
        QFETCH(double, needed);
        const QColor shade = readableOn(colour, background, needed);
        if (contrastRatio(colour, background) >= needed) {
            QCOMPARE(shade, colour);
            return;
        }
        if (colour.hslSaturation() > 0)
            QVERIFY2(qAbs(shade.hslHue() - colour.hslHue()) <= 2, qPrintable(shade.name()));
        const bool lighter = isDark(background);
        QVERIFY(lighter ? shade.lightness() > colour.lightness() : shade.lightness() < colour.lightness());
        if (contrastRatio(lighter ? Qt::white : Qt::black, background) < needed) {
            QCOMPARE(shade, QColor(lighter ? Qt::white : Qt::black));
            return;
        }
        QVERIFY(contrastRatio(shade, background) >= needed);
        // One step of lightness back towards the colour no longer reads.
        QColor nearer = shade;
        nearer.setHsl(shade.hslHue(), shade.hslSaturation(), shade.lightness() + (lighter ? -2 : 2));
        QVERIFY2(contrastRatio(nearer, background) < needed, qPrintable(nearer.name()));
    }

    void windowsReadInEveryPalette_data()
    {
        QTest::addColumn<QString>("style");  // empty: as found
        QTest::addColumn<bool>("dark");
        QTest::newRow("the desktop's palette") << QString() << false;
        QTest::newRow("dark palette, Windows style") << u"Windows"_s << true;
        QTest::newRow("dark palette, Fusion style") << u"Fusion"_s << true;
    }

    void windowsReadInEveryPalette()
    {
        QFETCH(QString, style);
        QFETCH(bool, dark);
        if (!style.isEmpty())
            QApplication::setStyle(QStyleFactory::create(style));
        if (dark)
            QApplication::setPalette(darkPalette());
        TestProgram program;
        TfrmC* editor = showMainWindowAndEditor(program);
        QList<Figure> figures = openWindowsFigures(editor, Qt::red);
        frmMain->DBGrid1TitleClick(grid()->column(3));
        figures.append(namedFigure(u"blue sort title"_s, title(3), Qt::blue));
        editor->close();

        frmLogin = new TfrmLogin;
        frmLogin->show();
        QVERIFY(QTest::qWaitForWindowExposed(frmLogin));
        figures.append(namedFigure(u"login window link"_s, shown(frmLogin->ui.Label3), Qt::blue));
        delete frmLogin;
        frmLogin = nullptr;
        checkFigures(QTest::currentDataTag(), figures);
    }

    // A desktop switched from light to dark and back while the main window and the editor are
    // open: every colour follows each switch, a title sorted and the others made plain in one
    // palette included.
    void windowsFollowAPaletteSwitch()
    {
        const QPalette light = lightPalette();
        switchPalette(light);
        TestProgram program;
        TfrmC* editor = showMainWindowAndEditor(program);
        const QList<std::tuple<QString, QPalette, QColor>> switches = {
            {u"light to dark"_s, darkPalette(), Qt::red},
            {u"dark to light"_s, light, Qt::blue},
        };
        for (const auto& [name, palette, sortColour] : switches) {
            switchPalette(palette);
            checkFigures(name, openWindowsFigures(editor, sortColour));
            QVERIFY2(showsColour(cell(1, 3), palette.color(QPalette::ToolTipBase)),
                     qPrintable(name + u": the tooltip row keeps the colour of the palette before"_s));
            // Sorted again in this palette: the other titles are made plain in it.
            frmMain->DBGrid1TitleClick(grid()->column(3));
        }
        editor->close();
    }
};

int main(int argc, char** argv)
{
    // A desktop's platform theme needs a real display.
    const auto display = VirtualDisplay::forXcbWithoutDisplay();
    QApplication app(argc, argv);
    TestPalette test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_palette.moc"
