// The reader's fence: what it gives up before it maps the first byte of the file it was handed.
// The fence library does for it what it does for the banner helper (out of its folder, every
// other file closed, limits, not dumpable, no new privileges, no capabilities, the common
// system call filter); on top of that comes the reader's own policy: nothing of the file system
// reachable by path (Landlock, with no rule at all), no network of any kind, minutes of time
// and a file's worth of memory, and a short list of the calls reading takes, every other refused.
#pragma once

#include <sys/types.h>

// Fences the reader in; file is the descriptor of the file it reads, which it may only map, and
// program the process it reads for, with which it dies (it ends at once when that process is
// already gone). Returns the descriptor its frames go to: what was its standard output, which
// from then on leads where standard error does, so that nothing a library prints can slip in
// among the frames. Ends the process when the kernel refuses any part of the fence.
int fenceReader(int file, pid_t program);
