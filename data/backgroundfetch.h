// The rows of a statement fetched on a thread of their own, over a connection of their own to
// the data file, while the user-interface thread goes on: at start-up the account list, which
// no one sees before logging in, is read while the login window already takes the password.
#pragma once

#include "data/resultset.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>

struct sqlite3;

class BackgroundFetch {
public:
    // Starts fetching the rows of sql over the connection open() makes on the fetching thread
    // (it throws EDatabaseError when it cannot); finished runs on that thread once the rows are
    // in or the fetch failed, unless the fetch was stopped.
    BackgroundFetch(std::function<sqlite3*()> open, QByteArray sql, std::function<void()> finished);
    // Stops the fetch where it is and waits for its thread.
    ~BackgroundFetch();
    BackgroundFetch(const BackgroundFetch&) = delete;
    BackgroundFetch& operator=(const BackgroundFetch&) = delete;

    // Waits for the fetch to end; its connection, and with it its read lock on the file, is
    // then gone.
    void wait();
    // The rows, once they are in; throws EDatabaseError with the engine's message when the
    // fetch failed.
    ResultSet take();

private:
    void run();
    void fetch(sqlite3* db);

    std::function<sqlite3*()> open_;
    const QByteArray sql_;
    std::function<void()> finished_;
    ResultSet rows_;
    QString error_;  // null when the fetch succeeded
    std::atomic<bool> stopped_ = false;
    std::thread thread_;
};
