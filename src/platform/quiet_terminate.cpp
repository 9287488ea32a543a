// The program's terminate handler: abort, and nothing else.
//
// libstdc++'s default handler writes the uncaught exception's demangled type
// to standard error, which a GUI program does not have; its demangler alone
// is about 48 KB of a statically linked executable. Linked as an object into
// an executable, this definition takes the library's place.
//
// For the same reason the library's throwing helpers abort here. The program
// catches no exception, so a throw could only end in the handler above, its
// stack not unwound; aborting at once is the same end. The library's own
// helpers would bring its exception classes, which carry a second, older
// string implementation: about 60 KB of code and unwind tables.
//
// operator new is the library's last such thrower: on exhaustion it throws
// bad_alloc, which would end in the handler; it aborts here. Its nothrow
// forms catch that throw, so the library's bring the exception runtime and
// the unwinder with them; ours return what malloc does. The library's
// operator delete frees, as ours would.
#include <cstdlib>
#include <new>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }

}  // namespace std

void* operator new(std::size_t size) {
    // malloc(0) may return null; new must return a distinct pointer.
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr) std::abort();
    return block;
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
