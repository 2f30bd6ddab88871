// Rows fetched in the background (see backgroundfetch.h).
#include "data/backgroundfetch.h"

#include "data/exception.h"

#include <sqlite3.h>

namespace {

// How many of the engine's steps go by between two looks at whether the fetch was stopped.
constexpr int kStepsBetweenLooks = 1000;

}  // namespace

BackgroundFetch::BackgroundFetch(std::function<sqlite3*()> open, QByteArray sql, std::function<void()> finished)
    : open_(std::move(open)), sql_(std::move(sql)), finished_(std::move(finished)), thread_(&BackgroundFetch::run, this)
{}

BackgroundFetch::~BackgroundFetch()
{
    stopped_ = true;
    wait();
}

void BackgroundFetch::wait()
{
    if (thread_.joinable())
        thread_.join();
}

ResultSet BackgroundFetch::take()
{
    wait();
    if (!error_.isNull())
        throw EDatabaseError(error_);
    return std::move(rows_);
}

void BackgroundFetch::run()
{
    sqlite3* db = nullptr;
    try {
        db = open_();
        // A fetch that is stopped ends at the engine's next look, as interrupted.
        sqlite3_progress_handler(
            db, kStepsBetweenLooks,
            [](void* self) { return int(static_cast<BackgroundFetch*>(self)->stopped_.load()); }, this);
        fetch(db);
    } catch (const std::exception& e) {
        error_ = QString::fromUtf8(e.what());
    }
    sqlite3_close_v2(db);
    if (!stopped_)
        finished_();
}

void BackgroundFetch::fetch(sqlite3* db)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql_.constData(), int(sql_.size()), &stmt, nullptr) != SQLITE_OK || !stmt) {
        sqlite3_finalize(stmt);
        throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    try {
        rows_.fetch(stmt);
    } catch (...) {
        sqlite3_finalize(stmt);
        throw;
    }
    sqlite3_finalize(stmt);
}
