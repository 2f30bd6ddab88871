// The line printer: a text sink that draws each written line on a paged device (a printer or
// a PDF file), keeping a pen position, wrapping long lines at the right edge and starting new
// pages by itself.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QSize>
#include <QString>
#include <stdexcept>

class QPagedPaintDevice;

// A print job that cannot start or go on, or a line printer used while it is not open; what()
// is the message in UTF-8.
class EPrinterError : public std::runtime_error {
public:
    explicit EPrinterError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

class LinePrinter {
public:
    // The device must outlive the line printer; nothing is drawn before open().
    explicit LinePrinter(QPagedPaintDevice& device);
    LinePrinter(const LinePrinter&) = delete;
    LinePrinter& operator=(const LinePrinter&) = delete;

    // Starts the job and its first page; the pen goes to the top-left corner of the page.
    void open();
    // Ends the last page and the job.
    void close();
    bool isOpen() const { return painter_.isActive(); }

    // The font of the lines written from now on; its point size is converted with the
    // device's resolution.
    void setFont(const QFont& font);
    void setFontSize(int points);
    const QFont& font() const { return font_; }

    // Draws one line at the pen and moves the pen to the start of the next line. Inside the
    // text, a tab moves to the next tab stop, a form feed starts a new page, a line feed ends
    // the line and a carriage return is ignored.
    void writeLine(const QString& text);

    // The pen, the height of the current line (0 while nothing is drawn on it) and the
    // printable page, all in device pixels; and the pages begun in this job.
    int x() const { return x_; }
    int y() const { return y_; }
    int lineHeight() const { return lineHeight_; }
    QSize pageSize() const { return page_; }
    int pageCount() const { return pages_; }

private:
    void requireOpen() const;
    void applyFont();
    void tab();
    struct Piece {
        qsizetype length;
        int width;
    };
    void drawText(QString text);
    Piece fittingPiece(const QString& text) const;
    void drawPiece(const QString& piece, int width);
    void newLine();
    void newPage();

    QPagedPaintDevice& device_;
    QPainter painter_;
    QFont font_;
    QFontMetrics metrics_;
    QSize page_;
    int x_ = 0;
    int y_ = 0;
    int lineHeight_ = 0;
    int pages_ = 0;
};
