#pragma once
// Where the plug-in publishes its listening port, and reading it back.
// Pure functions over the file system and the environment; any thread.

#include <chrono>
#include <optional>
#include <string>

namespace Cuebridge::Ctl {

// The port file under the given home folder.
std::string PortFilePath(const std::string& home);

// The port file under $HOME, or nullopt when HOME is not set.
std::optional<std::string> DefaultPortFilePath();

enum class PortFileStatus { Ok, Missing, Invalid, NotRegular };

struct PortFileContent {
    PortFileStatus status = PortFileStatus::Missing;
    int port = 0;  // valid when status is Ok
};

// Reads the port file: decimal digits only (a trailing line feed is tolerated), 1..65535.
// Only a regular file is read: a FIFO or device at the path never blocks the caller.
PortFileContent ReadPortFile(const std::string& path);

// How long ago the file at `path` was last written, or nullopt when it cannot be read.
std::optional<std::chrono::seconds> PortFileAge(const std::string& path);

// The outermost folder on the way to `path` that does not exist, or nullopt when the file's
// own folder exists.
std::optional<std::string> MissingFolderOf(const std::string& path);

}  // namespace Cuebridge::Ctl
