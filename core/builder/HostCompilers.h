#pragma once
// The programs that really compile behind the kit's compiler driver. The demo
// kit's xgcc hands each compile to the host gcc or g++ found on PATH and
// names them when asked (--print-host-compilers); Build Changed records their
// state with every compile, so another compiler first on PATH, or one
// upgraded in place, makes the compiles run again.

#include <string>
#include <vector>

namespace Brask {

// The absolute paths `compiler` prints for --print-host-compilers; none when
// it does not know the option (a kit whose driver compiles by itself),
// cannot be run or does not answer within seconds.
std::vector<std::string> hostCompilersOf(const std::string& compiler);

} // namespace Brask
