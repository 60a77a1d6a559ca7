// Counts the C allocator's calls of a whole program run, for the bench
// tables: loaded with LD_PRELOAD, it forwards every call to the C library's
// own allocator and, at exit, writes "malloc N calloc N realloc N free N" to
// the file named by ALLOC_COUNT_FILE (to standard error when unset, which
// changes the program's own error output, so the bench sets the file).
//
//   g++ -O2 -shared -fPIC -o alloc_count.so bench/alloc_count.cpp
//   ALLOC_COUNT_FILE=counts.txt LD_PRELOAD=./alloc_count.so vcard-convert ...
//
// The counters are atomic so that threads of the measured program do not
// lose counts. operator new ends in malloc, so C++ allocations count too.
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<unsigned long long> mallocs{0};
std::atomic<unsigned long long> callocs{0};
std::atomic<unsigned long long> reallocs{0};
std::atomic<unsigned long long> frees{0};

// Writes the counts when the program ends; a static object's destructor runs
// after main returns and after exit().
struct Reporter {
  ~Reporter() {
    const char* path = std::getenv("ALLOC_COUNT_FILE");
    std::FILE* out = path != nullptr ? std::fopen(path, "w") : stderr;
    if (out == nullptr) return;
    std::fprintf(out, "malloc %llu calloc %llu realloc %llu free %llu\n", mallocs.load(),
                 callocs.load(), reallocs.load(), frees.load());
    if (out != stderr) std::fclose(out);
  }
} reporter;

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
  mallocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
  callocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
  reallocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(pointer, size);
}

void free(void* pointer) {
  if (pointer != nullptr) frees.fetch_add(1, std::memory_order_relaxed);
  __libc_free(pointer);
}
}
