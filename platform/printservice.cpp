// The printing service (see printservice.h).
#include "platform/printservice.h"

#include "product.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// Only one job can be open at a time, as with a real print queue.
PrintJob* openJob = nullptr;

PrintJob::FileOpener& fileOpener()
{
    static PrintJob::FileOpener opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

// "<folder>/墨柘密码本 2026-12-08 14-03-05.pdf", numbered when a file of that name exists, so
// that no earlier print is overwritten.
QString unusedPdfPath(const QString& folder)
{
    const QString stem = folder + QLatin1Char('/') + kProductName + QLatin1Char(' ')
                         + QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH-mm-ss"_s);
    QString path = stem + u".pdf"_s;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + u" (%1).pdf"_s.arg(n);
    return path;
}

}  // namespace

std::unique_ptr<PrintJob> PrintJob::start()
{
    if (openJob)
        throw EPrinterError(u"Printing in progress"_s);
    std::unique_ptr<PrintJob> job = QPrinterInfo::availablePrinterNames().isEmpty() ? toPdfFile() : onDefaultPrinter();
    job->lines_->open();
    openJob = job.get();
    return job;
}

std::unique_ptr<PrintJob> PrintJob::onDefaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        throw EPrinterError(u"There is no default printer"_s);
    // The printer's own resolution, so that device pixels are printer dots.
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    printer->setDocName(QString());
    QPrinter* spooler = printer.get();
    return std::unique_ptr<PrintJob>(new PrintJob(std::move(printer), spooler, nullptr));
}

std::unique_ptr<PrintJob> PrintJob::toPdfFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        throw EPrinterError(u"无法创建存放打印文件的文件夹 %1"_s.arg(folder));
    const QString path = unusedPdfPath(folder);
    // The printout lists passwords: only its owner may read it.
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
        throw EPrinterError(u"无法创建打印文件 %1：%2"_s.arg(path, file->errorString()));
    auto writer = std::make_unique<QPdfWriter>(file.get());
    // A PDF page is printable to its edges.
    writer->setPageMargins(QMarginsF());
    return std::unique_ptr<PrintJob>(new PrintJob(std::move(writer), nullptr, std::move(file)));
}

PrintJob::PrintJob(std::unique_ptr<QPagedPaintDevice> device, QPrinter* spooler, std::unique_ptr<QFile> pdfOutput)
    : pdfOutput_(std::move(pdfOutput)),
      pdfFile_(pdfOutput_ ? pdfOutput_->fileName() : QString()),
      device_(std::move(device)),
      lines_(std::make_unique<LinePrinter>(*device_)),
      spooler_(spooler)
{}

// A printer is asked to drop an unfinished job. CUPS cannot drop a job that is still being
// spooled: there the lines already written are printed when the painter ends. A PDF file of an
// unfinished job is removed.
PrintJob::~PrintJob()
{
    if (openJob == this)
        openJob = nullptr;
    if (finished_)
        return;
    if (spooler_)
        spooler_->abort();
    lines_.reset();  // ends the painter, so the device lets go of its output
    device_.reset();
    if (pdfOutput_) {
        // By name: a file with a failed write refuses to remove itself.
        pdfOutput_->close();
        QFile::remove(pdfFile_);
    }
}

bool PrintJob::finish()
{
    lines_->close();
    if (pdfOutput_) {
        if (!pdfOutput_->flush() || pdfOutput_->error() != QFileDevice::NoError)
            throw EPrinterError(u"无法写入打印文件 %1：%2"_s.arg(pdfFile_, pdfOutput_->errorString()));
        pdfOutput_->close();
    }
    finished_ = true;
    openJob = nullptr;
    return pdfFile_.isEmpty() || fileOpener()(QUrl::fromLocalFile(pdfFile_));
}

void PrintJob::setFileOpener(FileOpener opener) { fileOpener() = std::move(opener); }
