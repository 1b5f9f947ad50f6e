// An allocation-failure injector, preloaded into the tarn program by the allocation tests
// (LD_PRELOAD): with TARN_FAIL_ALLOCATION=N the N-th allocation of the process fails, whether it
// comes from operator new or from malloc, calloc or realloc (GMP and the C library allocate with
// those); with "N+" that one and every later one fail, as when memory has run out for good. With
// TARN_COUNT_ALLOCATIONS=PATH the number of allocations made is written to PATH at exit, which bounds a sweep over N.
// Counting is exact only while one thread allocates, so the tests run tarn with "-threads 1".
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<unsigned long> allocations{0};
unsigned long failing = 0;  // 0: none fails
bool failing_for_good = false;

// getenv and strtoul allocate nothing, so they are safe inside the allocator.
__attribute__((constructor)) void read_settings() {
  const char* n = std::getenv("TARN_FAIL_ALLOCATION");
  if (!n) return;
  char* end = nullptr;
  failing = std::strtoul(n, &end, 10);
  failing_for_good = *end == '+';
}

// Written with system calls alone: stdio would allocate.
__attribute__((destructor)) void write_count() {
  const char* path = std::getenv("TARN_COUNT_ALLOCATIONS");
  if (!path) return;
  char text[32];
  int length = std::snprintf(text, sizeof text, "%lu\n", allocations.load());
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  if (write(fd, text, static_cast<std::size_t>(length)) != length) std::abort();
  close(fd);
}

// A failing allocation sets errno as the C library's does; callers such as thread creation
// rely on it.
bool next_allocation_fails() {
  unsigned long n = ++allocations;
  bool fails = failing != 0 && (n == failing || (failing_for_good && n > failing));
  if (fails) errno = ENOMEM;
  return fails;
}

// What operator new does: on failure the new-handler runs (tarn's ends the run), else bad_alloc.
void* new_memory(std::size_t size) {
  for (;;) {
    void* p = next_allocation_fails() ? nullptr : __libc_malloc(size ? size : 1);
    if (p) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void* new_memory_or_null(std::size_t size) noexcept {
  try {
    return new_memory(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) { return next_allocation_fails() ? nullptr : __libc_malloc(size); }
void* calloc(std::size_t count, std::size_t size) {
  return next_allocation_fails() ? nullptr : __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
  return next_allocation_fails() ? nullptr : __libc_realloc(pointer, size);
}
void free(void* pointer) { __libc_free(pointer); }
}

void* operator new(std::size_t size) { return new_memory(size); }
void* operator new[](std::size_t size) { return new_memory(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return new_memory_or_null(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return new_memory_or_null(size); }
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, std::size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::size_t) noexcept { __libc_free(p); }
