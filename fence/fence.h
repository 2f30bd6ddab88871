// The fence a helper program puts itself in before it reads the first foreign byte, so that
// bytes that take it over find nothing of the password book's and can do little of their own.
#pragma once

namespace Fence {

// The helper's first act: out of the folder it was started in; every file but its pipes closed;
// address space, processor time and open files limited; no core file; not dumpable; no new
// privileges; no capabilities, even when started as root.
void enclose();

// After Qt has started its platform and fonts, before the first page: the system call filter.
// False when the kernel refuses it.
bool installSyscallFilter();

// While one exists, the processor time the helper may spend is bounded: a document that makes
// litehtml style, lay out or draw for longer ends the helper.
class CpuWatch {
public:
    static constexpr int kSeconds = 2;

    CpuWatch();
    ~CpuWatch();
    CpuWatch(const CpuWatch&) = delete;
    CpuWatch& operator=(const CpuWatch&) = delete;
};

}  // namespace Fence
