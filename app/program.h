// The program block: one copy per user and per data file, the windows in their order, the event
// loop, the end.
#pragma once

class DataFileLock;
class SingleInstanceLock;

// Runs the whole program; returns the process's exit code.
int runProgram(int& argc, char** argv);

// Takes the single-instance lock; when another copy holds it, tells the user so and returns false.
bool takeSingleInstanceLock(SingleInstanceLock& lock);
// Takes the data file's lock the same way, with the same warning.
bool takeDataFileLock(DataFileLock& lock);
