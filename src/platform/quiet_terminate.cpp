// The program's terminate handler: abort, and nothing else.
//
// libstdc++'s default handler writes the uncaught exception's demangled type
// to standard error, which a GUI program does not have; its demangler alone
// is about 48 KB of a statically linked executable. Linked as an object into
// an executable, this definition takes the library's place.
//
// For the same reason the library's helpers that throw for a programming
// error (a length or index out of range) abort here: the program catches none
// of them, so a throw could only end in the handler above. The library's own
// helpers would bring its exception classes, which carry a second, older
// string implementation: about 60 KB of code and unwind tables. Running out
// of memory is another matter: operator new's bad_alloc is caught, and ends
// the run as a change list that cannot be read.
#include <cstdlib>
#include <new>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

// The library defines its helpers together, so all of them are ours; these
// two are running out of memory, and throw what operator new throws.
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }

}  // namespace std
