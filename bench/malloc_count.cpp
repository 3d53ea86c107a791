// A count of the program's heap allocations for bench/soak, preloaded into it (LD_PRELOAD):
// every malloc, calloc, realloc and aligned allocation is counted (operator new ends in
// malloc), then handed to the C library, and the bytes in use are kept as blocks come and go.
// SIGUSR2 writes the count so far and the bytes in use, in decimal on one line, to the file
// named by NVMX_MALLOC_COUNT_FILE. Bytes in use that stay flat while RSS grows point at the
// allocator's free lists or at memory outside the heap, not at a leak.
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *pointer);
}

namespace {

std::atomic<unsigned long> calls{0};
std::atomic<long> bytesInUse{0};
const char *countFile = nullptr;

void Count() {
    calls.fetch_add(1, std::memory_order_relaxed);
}

void *Taken(void *block) {
    if (block != nullptr)
        bytesInUse.fetch_add(long(malloc_usable_size(block)), std::memory_order_relaxed);
    return block;
}

void Given(void *block) {
    if (block != nullptr)
        bytesInUse.fetch_sub(long(malloc_usable_size(block)), std::memory_order_relaxed);
}

// Async-signal-safe: digits by hand, right to left.
int PutDecimal(char *end, unsigned long value) {
    int length = 0;
    do {
        *--end = static_cast<char>('0' + value % 10);
        value /= 10;
        length++;
    } while (value != 0);
    return length;
}

// Async-signal-safe: open, write, close.
void WriteCount(int) {
    char line[64];
    int at = sizeof line;
    line[--at] = '\n';
    long inUse = bytesInUse.load(std::memory_order_relaxed);
    at -= PutDecimal(line + at, inUse > 0 ? static_cast<unsigned long>(inUse) : 0);
    line[--at] = ' ';
    at -= PutDecimal(line + at, calls.load(std::memory_order_relaxed));
    int fd = open(countFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    ssize_t written = write(fd, line + at, sizeof line - static_cast<size_t>(at));
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
    return Taken(__libc_malloc(size));
}
void *calloc(size_t count, size_t size) {
    Count();
    return Taken(__libc_calloc(count, size));
}
void *realloc(void *pointer, size_t size) {
    Count();
    size_t before = pointer != nullptr ? malloc_usable_size(pointer) : 0;
    void *block = __libc_realloc(pointer, size);
    // A failed realloc keeps the old block; realloc to size 0 may free it and return nothing.
    if (block != nullptr)
        bytesInUse.fetch_add(long(malloc_usable_size(block)) - long(before));
    else if (size == 0)
        bytesInUse.fetch_sub(long(before));
    return block;
}
void free(void *pointer) {
    Given(pointer);
    __libc_free(pointer);
}
void *memalign(size_t alignment, size_t size) {
    Count();
    return Taken(__libc_memalign(alignment, size));
}
void *aligned_alloc(size_t alignment, size_t size) {
    Count();
    return Taken(__libc_memalign(alignment, size));
}
int posix_memalign(void **pointer, size_t alignment, size_t size) {
    Count();
    void *memory = Taken(__libc_memalign(alignment, size));
    if (memory == nullptr)
        return 12; // ENOMEM
    *pointer = memory;
    return 0;
}
}
