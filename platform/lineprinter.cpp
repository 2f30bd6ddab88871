// The line printer (see lineprinter.h).
#include "platform/lineprinter.h"

#include <QCoreApplication>
#include <QList>
#include <QPagedPaintDevice>
#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

namespace {

// Where each character, as a reader sees it, ends: a surrogate pair or a letter with its
// combining marks is one character and is never cut.
QList<qsizetype> characterEnds(const QString& text)
{
    QList<qsizetype> ends;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype end = finder.toNextBoundary(); end > 0; end = finder.toNextBoundary())
        ends.append(end);
    return ends;
}

}  // namespace

LinePrinter::LinePrinter(QPagedPaintDevice& device) : device_(device), metrics_(font_, &device) {}

void LinePrinter::open()
{
    if (isOpen())
        throw EPrinterError(u"Printing in progress"_s);
    if (!painter_.begin(&device_))
        throw EPrinterError(u"The print job cannot be started"_s);
    painter_.setFont(font_);
    page_ = QSize(device_.width(), device_.height());
    x_ = y_ = lineHeight_ = 0;
    pages_ = 1;
}

void LinePrinter::close()
{
    requireOpen();
    if (!painter_.end())
        throw EPrinterError(u"The print job cannot be completed"_s);
}

void LinePrinter::requireOpen() const
{
    if (!isOpen())
        throw EPrinterError(u"The printer is not printing"_s);
}

void LinePrinter::setFont(const QFont& font)
{
    font_ = font;
    applyFont();
}

void LinePrinter::setFontSize(int points)
{
    font_.setPointSize(points);
    applyFont();
}

void LinePrinter::applyFont()
{
    metrics_ = QFontMetrics(font_, &device_);
    if (isOpen())
        painter_.setFont(font_);
}

void LinePrinter::writeLine(const QString& text)
{
    requireOpen();
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c != u'\r' && c != u'\t' && c != u'\f' && c != u'\n')
            continue;
        drawText(text.mid(start, i - start));
        start = i + 1;
        if (c == u'\t')
            tab();
        else if (c == u'\f')
            newPage();
        else if (c == u'\n')
            newLine();
    }
    drawText(text.mid(start));
    newLine();
}

// Tab stops lie every 8 average character widths.
void LinePrinter::tab()
{
    const int step = qMax(1, 8 * metrics_.averageCharWidth());
    x_ = (x_ + step + 1) / step * step;
    if (x_ > page_.width())
        newLine();
}

// Draws the text from the pen, going on at the start of the next line with whatever does not
// fit before the right edge.
void LinePrinter::drawText(QString text)
{
    while (!text.isEmpty()) {
        const Piece piece = fittingPiece(text);
        drawPiece(text.left(piece.length), piece.width);
        if (piece.length == text.size())
            return;
        text = text.mid(piece.length);
        newLine();
    }
}

// The longest start of the text, ending at a character boundary, that fits between the pen and
// the right edge. A start never gets narrower by growing, so bisecting over the boundaries finds
// the piece that dropping one character at a time from the end would find, with far fewer
// measurements. At the left edge at least one character is taken, so that a character wider
// than the page still gets printed.
LinePrinter::Piece LinePrinter::fittingPiece(const QString& text) const
{
    const int room = page_.width() - x_;
    const int whole = metrics_.horizontalAdvance(text);
    if (whole <= room)
        return {text.size(), whole};
    const QList<qsizetype> ends = characterEnds(text);
    Piece fits{0, 0};
    qsizetype fitting = 0;                // characters known to fit
    qsizetype overflowing = ends.size();  // characters known not to fit
    while (overflowing - fitting > 1) {
        const qsizetype middle = (fitting + overflowing) / 2;
        const int width = metrics_.horizontalAdvance(text.left(ends[middle - 1]));
        if (width <= room) {
            fitting = middle;
            fits = {ends[middle - 1], width};
        } else {
            overflowing = middle;
        }
    }
    if (fitting == 0 && x_ == 0)
        return {ends.first(), metrics_.horizontalAdvance(text.left(ends.first()))};
    return fits;
}

// Draws a piece with its top at the pen, makes the line at least as high as the text and moves
// the pen past it.
void LinePrinter::drawPiece(const QString& piece, int width)
{
    if (piece.isEmpty())
        return;
    painter_.drawText(QPoint(x_, y_ + metrics_.ascent()), piece);
    if (metrics_.height() > lineHeight_)
        lineHeight_ = metrics_.height() + 2;
    x_ += width;
}

void LinePrinter::newLine()
{
    x_ = 0;
    y_ += lineHeight_ > 0 ? lineHeight_ : metrics_.height();
    if (y_ > page_.height() - 2 * lineHeight_)
        newPage();
    lineHeight_ = 0;
}

// Ejects the page. The windows repaint while a long job is spooled; user input waits until
// the job is done, so no second command starts in the middle of it.
void LinePrinter::newPage()
{
    if (!device_.newPage())
        throw EPrinterError(u"The printer cannot start a new page"_s);
    x_ = y_ = 0;
    ++pages_;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
