// Runs a command-line tool of the project as a user would, in a folder of
// the test's own, and keeps its status and what it printed.
#ifndef ZEL_TESTS_TOOL_RUNNER_H
#define ZEL_TESTS_TOOL_RUNNER_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_folder.h"

namespace tooltest {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;  // the exit status; -1 when the tool did not exit
    std::string out;
    std::string err;
};

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

using zeltest::testFolder;

// Runs `program` with the arguments (each one quoted) and `input` on stdin;
// stdout and stderr are kept in `dir` and returned.
inline Outcome runProgram(const std::string& program, const fs::path& dir,
                          const std::vector<std::string>& args, const std::string& input = "") {
    std::ofstream(dir / "in") << input;
    std::string command = "'" + program + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " <'" + (dir / "in").string() + "' >'" + (dir / "out").string() + "' 2>'" +
               (dir / "err").string() + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "out"), slurp(dir / "err")};
}

}  // namespace tooltest

#endif
