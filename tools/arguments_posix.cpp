#include "arguments.hpp"

namespace tools {

// Linux passes the bytes as typed, UTF-8 in every usual locale.
Utf8Arguments::Utf8Arguments(int&, char**&) {}

}  // namespace tools
