// Keeps the statically linked C++ runtime from bringing whole object files into the DLL for a
// few members it needs. On 32-bit Windows every function has unwind information, and the
// linker keeps all of it, so an archive member that is linked for one symbol brings every
// function it holds, used or not. The runtime's exception classes need a few members of
// std::string that live in its largest members (the explicit instantiations of both string
// kinds); instantiating just those here, from the same headers, satisfies them first. Should
// a newer runtime need more, the archive member is linked as before: the DLL grows, nothing
// breaks (these are COMDAT definitions, identical to the library's).
#include <cstdlib>
#include <string>

template void std::string::_M_assign(const std::string&);
template std::string::pointer std::string::_M_create(std::string::size_type&, std::string::size_type);

// The default terminate handler prints the exception's demangled type to stderr, which brings
// the whole demangler along. A DLL inside a GUI host has no stderr, and the entry points never
// let an exception escape: should terminate ever be reached, it ends the same way, by abort().
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
