// TempHome: points HOME at a fresh temporary folder for one test and restores it after.
// Not thread-safe: construct and destroy on the test's own thread. ReadFile: a file's
// bytes ("" when it cannot be read); any thread.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "Protocol.h"

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class TempHome {
public:
    TempHome() {
        if (const char* home = std::getenv("HOME")) previous_ = home;
        std::string pattern =
            (std::filesystem::temp_directory_path() / "cuebridge-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        setenv("HOME", path_.c_str(), 1);
    }
    ~TempHome() {
        if (previous_)
            setenv("HOME", previous_->c_str(), 1);
        else
            unsetenv("HOME");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path ServiceFolder() const {
        return Cuebridge::Protocol::ServiceFolder(path_.string());
    }
    // Creates the service folder (and parents) and an empty file in it.
    std::filesystem::path Touch(const std::string& name) const {
        std::filesystem::create_directories(ServiceFolder());
        const auto file = ServiceFolder() / name;
        std::ofstream{file};
        return file;
    }

private:
    std::filesystem::path path_;
    std::optional<std::string> previous_;
};
