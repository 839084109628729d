// A fresh directory per test for the files and trees the library is pointed at.
#ifndef MORVID_TESTS_HOST_TEMP_DIR_H
#define MORVID_TESTS_HOST_TEMP_DIR_H

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TempDirTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string pattern = std::filesystem::temp_directory_path() / "zq_host_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override
    {
        std::filesystem::remove_all(root);
    }
    std::string at(const std::string &rel) const
    {
        return root + "/" + rel;
    }
    void put(const std::string &rel, const std::string &text, mode_t mode = 0644) const
    {
        std::filesystem::create_directories(std::filesystem::path(at(rel)).parent_path());
        std::ofstream(at(rel), std::ios::binary) << text;
        ASSERT_EQ(chmod(at(rel).c_str(), mode), 0);
    }
    // The file's content, or "<absent>".
    std::string get(const std::string &rel) const
    {
        std::ifstream in(at(rel), std::ios::binary);
        if (!in)
            return "<absent>";
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string root;
};

inline size_t open_descriptors()
{
    auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<size_t>(std::distance(begin(fds), end(fds)));
}

#endif
