// The rows of a statement fetched on a thread of their own, over a connection of their own to
// the data file, while the user-interface thread goes on: at start-up the account list, which
// no one sees before logging in, is read while the login window already takes the password.
#pragma once

#include "data/resultset.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

struct sqlite3;

// How a connection waits while another one holds the file: the engine's busy handler with its
// context, set on the connection before its first read.
struct BusyWait {
    int (*handler)(void* context, int attempts);
    void* context;
};

class BackgroundFetch {
public:
    // Starts fetching the rows of sql over the connection open() makes on the fetching thread
    // (it throws EDatabaseError when it cannot) with the BusyWait it is given: while another
    // connection holds the file, the fetch waits for it at most busyWait, and not at all once it
    // is stopped. finished runs on that thread once the rows are in or the fetch failed, with
    // whether it succeeded, unless the fetch was stopped.
    BackgroundFetch(std::function<sqlite3*(const BusyWait&)> open, QByteArray sql, std::chrono::milliseconds busyWait,
                    std::function<void(bool succeeded)> finished);
    // Stops the fetch where it is, a wait for another connection included, and waits for its
    // thread.
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
    void tellFinished();
    static int waitForWriter(void* self, int attempts);

    std::function<sqlite3*(const BusyWait&)> open_;
    const QByteArray sql_;
    const std::chrono::milliseconds busyWait_;
    std::function<void(bool)> finished_;
    ResultSet rows_;
    QString error_;  // null when the fetch succeeded
    std::chrono::steady_clock::time_point busySince_;
    std::atomic<bool> stopped_ = false;
    std::mutex stopMutex_;
    std::condition_variable stopping_;
    std::thread thread_;
};
