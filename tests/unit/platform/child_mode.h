// Hidden switches of platform_tests. A test that needs child processes starts
// this same program again with a switch as its first argument; main() then
// runs the function registered for that switch instead of the tests.
#ifndef TESTS_UNIT_PLATFORM_CHILD_MODE_H_
#define TESTS_UNIT_PLATFORM_CHILD_MODE_H_

#include <string>
#include <string_view>
#include <vector>

namespace child_mode {

// Runs in the child with the arguments after the switch; returns the child's
// exit code.
using ChildMain = int (*)(const std::vector<std::string>& args);

// Registers `main` for `flag`. Returns true so that a test file can register
// from a namespace-scope initialiser:
//   [[maybe_unused]] const bool kRegistered =
//       child_mode::Register("--my-child", &MyChild);
bool Register(std::string_view flag, ChildMain main);

// The registered function for `flag`, or nullptr.
ChildMain Find(std::string_view flag);

// The argument vector that starts this program in the mode of `flag`.
std::vector<std::string> Command(std::string_view flag,
                                 const std::vector<std::string>& args);

}  // namespace child_mode

#endif  // TESTS_UNIT_PLATFORM_CHILD_MODE_H_
