// The files a script may reach through File and Folder: those of the host's home (the HOME it
// was started with) only. A path is made absolute first ("~" is the home, a relative path
// lies under Folder.current) and lexically normal; it is then resolved (symlinks followed, as
// far as it exists), and the operation works on the resolved path only when that lies in the
// home. Nothing here throws for a file system fault or a refusal: as in the host, the call
// fails and the text for the object's `error` says why. Only regular files are opened, so no
// call waits for a writer or a device. Main thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

class HomeFiles {
public:
    static constexpr std::size_t kMostOpen = 64;                     // open files at once
    static constexpr std::size_t kMostRead = std::size_t{64} << 20;  // bytes in one read

    explicit HomeFiles(std::string home);
    ~HomeFiles();
    HomeFiles(const HomeFiles&) = delete;
    HomeFiles& operator=(const HomeFiles&) = delete;

    const std::string& Home() const { return home_; }
    const std::string& Current() const { return current_; }
    // Folder.current: false (with error) for a folder outside the home or missing.
    bool SetCurrent(std::string_view path, std::string& error);

    // ---- Names (pure): the absolute, lexically normal path of a script's path; "" stays "".
    std::string Absolute(std::string_view path) const;
    // The URI form the host gives (absoluteURI, fullName): "~" for the home, %-escapes.
    std::string Uri(const std::string& absolute) const;
    static std::string Encode(std::string_view text);  // File.encode
    static std::string Decode(std::string_view text);  // File.decode; bad escapes stay

    // ---- What is there; each false (or empty) with error set when refused.
    // The resolved path when it lies in the home; else nullopt and the reason.
    std::optional<std::string> Resolve(const std::string& absolute, std::string& error) const;
    bool Exists(const std::string& absolute, std::string& error) const;
    bool IsFolder(const std::string& absolute) const;
    std::int64_t Length(const std::string& absolute, std::string& error) const;  // -1: none
    bool SetLength(const std::string& absolute, std::int64_t length, std::string& error);
    std::optional<double> Modified(const std::string& absolute) const;  // ms since the epoch
    bool Remove(const std::string& absolute, std::string& error);
    // newName: a name in the same folder; the new absolute path, or nullopt.
    std::optional<std::string> Rename(const std::string& absolute, const std::string& newName,
                                      std::string& error);
    bool Copy(const std::string& from, const std::string& to, std::string& error);
    bool CreateFolder(const std::string& absolute, std::string& error);
    // The folder's entries matching mask ("*.jsx;*.txt"; empty: all), sorted; each path is
    // absolute, a folder's ends with '/'.
    std::optional<std::vector<std::string>> List(const std::string& absolute,
                                                 const std::string& mask, std::string& error);

    // ---- Open files, by id (0: none). mode: "r", "w", "a" or "e" (read and write).
    // binary: text crosses as bytes (one character each, 0 to 255) instead of UTF-8.
    int Open(const std::string& absolute, std::string_view mode, std::string& error);
    bool IsOpen(int id) const { return open_.count(id) > 0; }
    bool Close(int id);
    // count < 0: to the end. nullopt (and error) on a fault.
    std::optional<std::string> Read(int id, std::int64_t count, bool binary, std::string& error);
    std::optional<std::string> ReadLine(int id, bool binary, std::string& error);
    bool Write(int id, std::string_view text, bool binary, std::string& error);
    bool Eof(int id);
    bool Seek(int id, std::int64_t offset, int whence, std::string& error);
    std::int64_t Tell(int id);

private:
    std::FILE* FileOf(int id, std::string& error);

    std::string home_;      // as given (absolute), or empty: no home, so nothing is reachable
    std::string realHome_;  // its resolved form
    std::string current_;
    std::map<int, std::FILE*> open_;
    int nextId_ = 1;
};

}  // namespace hostsim
