// The program's terminate handler: abort, and nothing else.
//
// libstdc++'s default handler writes the uncaught exception's demangled type
// to standard error, which a GUI program does not have; its demangler alone
// is about 48 KB of a statically linked executable. Linked as an object into
// an executable, this definition takes the library's place.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
