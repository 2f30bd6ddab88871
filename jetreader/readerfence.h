// The reader's fence: what it gives up before it maps the first byte of the file it was handed.
// Its profile in the helpers' fence (fence/fence.h): nothing of the file system readable by path
// (Landlock with no rule at all), no network of any kind, a file's worth of memory and a minute
// of time, and an allow list of the few calls reading takes; every other call ends it.
#pragma once

#include <sys/types.h>

// Fences the reader in. The file it reads is its standard input, which it may only map; program
// is the process it reads for, with which it dies (it ends at once when that process is
// already gone). Returns the descriptor its frames go to: what was its standard output, which
// from then on leads where standard error does, so that nothing a library prints can slip in
// among the frames. Ends the process when the kernel refuses the call filter.
int fenceReader(pid_t program);
