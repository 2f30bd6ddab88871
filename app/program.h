// The program block: one copy per user, the windows in their order, the event loop, the end.
#pragma once

class SingleInstanceLock;

// Runs the whole program; returns the process's exit code.
int RunProgram(int& argc, char** argv);

// Takes the single-instance lock; when another copy holds it, tells the user so and returns false.
bool TakeSingleInstanceLock(SingleInstanceLock& lock);
