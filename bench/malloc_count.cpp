// A count of the program's heap allocations for bench/soak, preloaded into it (LD_PRELOAD):
// every malloc, calloc, realloc and aligned allocation is counted (operator new ends in
// malloc), then handed to the C library. SIGUSR2 writes the count so far, in decimal, to the
// file named by NVMX_MALLOC_COUNT_FILE.
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
}

namespace {

std::atomic<unsigned long> calls{0};
const char *countFile = nullptr;

void Count() {
    calls.fetch_add(1, std::memory_order_relaxed);
}

// Async-signal-safe: digits by hand, then open, write, close.
void WriteCount(int) {
    char digits[32];
    int at = sizeof digits;
    unsigned long value = calls.load(std::memory_order_relaxed);
    digits[--at] = '\n';
    do {
        digits[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    int fd = open(countFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    ssize_t written = write(fd, digits + at, sizeof digits - static_cast<size_t>(at));
    (void)written;
    close(fd);
}

__attribute__((constructor)) void InstallCountSignal() {
    countFile = getenv("NVMX_MALLOC_COUNT_FILE");
    if (countFile != nullptr)
        signal(SIGUSR2, WriteCount);
}

} // namespace

extern "C" {
void *malloc(size_t size) {
    Count();
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
    Count();
    return __libc_calloc(count, size);
}
void *realloc(void *pointer, size_t size) {
    Count();
    return __libc_realloc(pointer, size);
}
void *memalign(size_t alignment, size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
void *aligned_alloc(size_t alignment, size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void **pointer, size_t alignment, size_t size) {
    Count();
    void *memory = __libc_memalign(alignment, size);
    if (memory == nullptr)
        return 12; // ENOMEM
    *pointer = memory;
    return 0;
}
}
