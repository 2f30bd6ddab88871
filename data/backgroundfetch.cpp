// Rows fetched in the background (see backgroundfetch.h).
#include "data/backgroundfetch.h"

#include "data/exception.h"

#include <sqlite3.h>

namespace {

// How many of the engine's steps go by between two looks at whether the fetch was stopped.
constexpr int kStepsBetweenLooks = 1000;

// How long a wait for another connection's lock lasts before the engine tries again.
constexpr std::chrono::milliseconds kBusyRetry(10);

}  // namespace

BackgroundFetch::BackgroundFetch(std::function<sqlite3*(const BusyWait&)> open, QByteArray sql,
                                 std::chrono::milliseconds busyWait, std::function<void(bool)> finished)
    : open_(std::move(open)),
      sql_(std::move(sql)),
      busyWait_(busyWait),
      finished_(std::move(finished)),
      thread_(&BackgroundFetch::run, this)
{}

BackgroundFetch::~BackgroundFetch()
{
    {
        const std::lock_guard lock(stopMutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
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
        db = open_(BusyWait{&BackgroundFetch::waitForWriter, this});
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
        tellFinished();
}

void BackgroundFetch::tellFinished()
{
    try {
        finished_(error_.isNull());
    } catch (...) {
        // Not told (for want of memory, say): the rows wait to be taken when they are needed.
    }
}

// The engine calls this while another connection holds the file, attempts being how often it
// already did for the same lock: it tries again after a short wait, until busyWait has gone by
// since the first call or the fetch is stopped, which ends the wait at once.
int BackgroundFetch::waitForWriter(void* self, int attempts)
{
    auto* fetch = static_cast<BackgroundFetch*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (attempts == 0)
        fetch->busySince_ = now;
    if (now - fetch->busySince_ >= fetch->busyWait_)
        return 0;
    std::unique_lock lock(fetch->stopMutex_);
    return fetch->stopping_.wait_for(lock, kBusyRetry, [fetch] { return fetch->stopped_.load(); }) ? 0 : 1;
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
