// Keeps the program's memory out of crash dumps: it holds the key of the data file, the login
// password and every account once they are read.
#pragma once

// Marks the process as not dumpable (the kernel then writes no core file and lets no other
// process of the user read its memory) and sets its core-size limit to zero, which the
// processes it starts inherit. Call before the data file is opened.
void disableCoreDumps();
