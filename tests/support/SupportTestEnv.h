#pragma once
// Points HOME and the XDG folders at a fresh temporary folder for one test, and puts the old values back.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

namespace supporttest {

class TempHome {
public:
    TempHome()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "arbora-support-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            ADD_FAILURE() << "cannot make a temporary folder";
        m_root = pattern;
        for (const auto& [name, folder] : {std::pair{"HOME", "home"}, {"XDG_CONFIG_HOME", "config"},
                                           {"XDG_DATA_HOME", "data"}, {"XDG_STATE_HOME", "state"}})
            Set(name, m_root / folder);
        Set("XDG_DOCUMENTS_DIR", "");
        ::unsetenv("XDG_DOCUMENTS_DIR"); // saved by Set, so that the destructor restores it
        std::filesystem::create_directories(m_root / "home");
    }
    ~TempHome()
    {
        for (const auto& [name, value] : m_saved)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        std::error_code error;
        std::filesystem::remove_all(m_root, error);
    }
    const std::filesystem::path& Root() const { return m_root; }
    void Set(const std::string& name, const std::filesystem::path& value)
    {
        const char* old = std::getenv(name.c_str());
        m_saved.try_emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name.c_str(), value.c_str(), 1);
    }

private:
    std::filesystem::path m_root;
    std::map<std::string, std::optional<std::string>> m_saved;
};

// Runs a shell command with standard output (and error, unless dropped) into `output`; its exit
// status, or -1 when it could not run or did not exit.
inline int RunCommand(const std::string& command, std::string& output, bool withErrors = true)
{
    FILE* pipe = ::popen((command + (withErrors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
    output.clear();
    char buffer[4096];
    for (size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pipe == nullptr ? -1 : ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace supporttest
