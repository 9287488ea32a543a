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
#include <cstdlib>

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
