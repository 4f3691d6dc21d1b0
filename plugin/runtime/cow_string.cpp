// The reference-counted std::string that the runtime's exception classes keep their message
// in (see sso_string.cpp for why its members are instantiated here). That string is only
// visible under the old library ABI, hence this file of its own.
#define _GLIBCXX_USE_CXX11_ABI 0
#include <string>

template char* std::string::_S_construct(std::string::size_type, char, const std::allocator<char>&);
template void std::string::_Rep::_M_destroy(const std::allocator<char>&) throw();
template void std::string::_Rep::_M_dispose(const std::allocator<char>&);
template char* std::string::_Rep::_M_clone(const std::allocator<char>&, std::string::size_type);
template std::string::_Rep* std::string::_Rep::_S_create(std::string::size_type, std::string::size_type,
                                                          const std::allocator<char>&);
template void std::string::swap(std::string&);
template std::string& std::string::assign(const std::string&);
