// The application as the windows see it: its title, the request to end the program, and the
// folder it runs from.
#pragma once

#include <QString>

namespace Application {

// Shown on the task bar and as the caption of every notice and error box.
QString Title();
void setTitle(const QString& title);

// Asks the event loop to end the program. No window's close confirmation runs because of
// it, and an open modal dialog ends as cancelled.
void Terminate();

// How often termination has been requested in this process.
int terminateRequests();

// The folder of the running executable, with a trailing "/": the database file lives below it.
// A folder whose name is not UTF-8 comes with its bytes kept (data/filename.h).
QString exeFolder();

// Makes exeFolder() answer another folder, so that tests work on their own database files.
void setExeFolderForTesting(const QString& folder);

}  // namespace Application
