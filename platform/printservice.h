// The printing service: a print job on the system's default printer, written through the line
// printer. Where the machine has no printer at all, the job becomes a PDF file in the user's
// documents folder, which is opened with the desktop's viewer once the job is finished.
#pragma once

#include "platform/lineprinter.h"

#include <QFile>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPrinter;

class PrintJob {
public:
    // Starts a job and its first page. Throws EPrinterError when the job cannot start, or
    // while another job is open.
    static std::unique_ptr<PrintJob> start();

    // A job that was not finished (an error interrupted it) is abandoned: a printer is asked
    // to drop it, a PDF file is removed. The next job can then start.
    ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    LinePrinter& printer() { return *lines_; }

    // Ends the job and hands it to the printer, or opens the PDF file. Returns false when the
    // PDF file is written but no viewer could show it: the caller tells the user where it is.
    // Throws EPrinterError, leaving the job unfinished, when the printout could not be completed.
    [[nodiscard]] bool finish();

    // The PDF file the job writes; empty when it goes to a printer.
    const QString& pdfFile() const { return pdfFile_; }

    // How a finished PDF file is shown, telling whether a viewer took it;
    // QDesktopServices::openUrl unless replaced (tests replace it so that no viewer starts).
    using FileOpener = std::function<bool(const QUrl&)>;
    static void setFileOpener(FileOpener opener);

private:
    PrintJob(std::unique_ptr<QPagedPaintDevice> device, QPrinter* spooler, std::unique_ptr<QFile> pdfOutput);
    static std::unique_ptr<PrintJob> onDefaultPrinter();
    static std::unique_ptr<PrintJob> toPdfFile();

    // The file a PDF job writes, opened here so that a failed write (a full disk) is seen; it
    // outlives the device that writes into it.
    std::unique_ptr<QFile> pdfOutput_;
    QString pdfFile_;
    std::unique_ptr<QPagedPaintDevice> device_;
    std::unique_ptr<LinePrinter> lines_;
    QPrinter* spooler_;  // the device when it is a printer
    bool finished_ = false;
};
