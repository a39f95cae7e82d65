// A folder of the running test's own under the system's temporary folder,
// named after the process and the test, so tests running side by side
// never share files.
#ifndef ZEL_TESTS_TEST_FOLDER_H
#define ZEL_TESTS_TEST_FOLDER_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace zeltest {

// An empty folder named `prefix`, this process and the running test.
inline std::filesystem::path testFolder(const std::string& prefix) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        (prefix + std::to_string(::getpid()) + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace zeltest

#endif  // ZEL_TESTS_TEST_FOLDER_H
