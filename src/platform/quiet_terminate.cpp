// The shipped program's runtime: what libstdc++ would otherwise bring along.
//
// The program is built without exceptions, so nothing it calls may throw:
// - operator new ends the program through OutOfMemory, which reports the
//   bits the run had gathered, when memory runs out; libstdc++'s own throws
//   bad_alloc, and with it would come the exception machinery and the
//   unwinder, a third of the program;
// - the library's helpers that throw for a programming error (a length or
//   index out of range) abort: they would bring its exception classes, which
//   carry a second, older string implementation;
// - the terminate handler aborts and nothing else: libstdc++'s writes the
//   exception's demangled type to standard error, which a GUI program does
//   not have, and its demangler alone is about 48 KB.
// Linked as an object into the executable, these definitions take the
// library's place.
#include <cstdlib>
#include <new>

#include "platform/out_of_memory.h"

namespace {

void* Allocate(std::size_t size) { return std::malloc(size != 0 ? size : 1); }

}  // namespace

void* operator new(std::size_t size) {
    if (void* block = Allocate(size)) return block;
    OutOfMemory();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

// The library defines its helpers together, so all of them are ours.
void __throw_bad_alloc() { OutOfMemory(); }
void __throw_bad_array_new_length() { OutOfMemory(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }

}  // namespace std
