#include "scripting/EnvironmentFiles.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "base/Utf8.h"

namespace hostsim {
namespace fs = std::filesystem;
namespace {

// The guide's texts for the `error` property.
constexpr const char* kNotThere = "File or folder does not exist";
constexpr const char* kNotOpen = "I/O device is not open";

std::string Fault(const char* what, int err) {
    if (err == EACCES || err == EPERM) return "Permission denied";
    if (err == ENOENT) return kNotThere;
    if (err == EEXIST) return "File or folder already exists";
    return what;
}

bool Under(const fs::path& inner, const fs::path& outer) {
    const auto [o, i] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return o == outer.end();
}

// The UTF-8 text as bytes, each character's low 8 bits (BINARY), and back.
std::string ToBytes(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        unsigned code = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
        for (std::size_t k = 1; k < n && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += static_cast<char>(code & 0xFF);
        i += n;
    }
    return out;
}
std::string FromBytes(std::string_view bytes) {
    std::string out;
    for (const char b : bytes) {
        const auto c = static_cast<unsigned char>(b);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

HomeFiles::HomeFiles(std::string home) {
    std::error_code ec;
    if (home.empty() || home[0] != '/') return;
    home_ = fs::path(home).lexically_normal().string();
    if (home_.size() > 1 && home_.back() == '/') home_.pop_back();
    realHome_ = fs::canonical(home_, ec).string();
    if (ec) home_.clear();
    current_ = home_;
}

HomeFiles::~HomeFiles() {
    for (const auto& [id, file] : open_) std::fclose(file);
}

std::string HomeFiles::Absolute(std::string_view given) const {
    std::string path = Decode(given);
    if (path.empty()) return "";
    if (path == "~" || path.starts_with("~/"))
        path = home_ + path.substr(1);
    else if (path[0] != '/')
        path = current_ + "/" + path;
    std::string normal = fs::path(path).lexically_normal().string();
    if (normal.size() > 1 && normal.back() == '/') normal.pop_back();
    return normal;
}

std::string HomeFiles::Uri(const std::string& absolute) const {
    if (!home_.empty() && (absolute == home_ || absolute.starts_with(home_ + "/")))
        return "~" + Encode(absolute.substr(home_.size()));
    return Encode(absolute);
}

std::string HomeFiles::Encode(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) ||
            std::string_view("/-_.!~*'()@:&=+$,;?#").find(ch) != std::string_view::npos)
            out += ch;
        else
            out += {'%', hex[c >> 4], hex[c & 15]};
    }
    return out;
}

std::string HomeFiles::Decode(std::string_view text) {
    std::string out;
    const auto digit = [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
               : c >= 'a' && c <= 'f'                      ? c - 'a' + 10
               : c >= 'A' && c <= 'F'                      ? c - 'A' + 10
                                                           : -1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && digit(text[i + 1]) >= 0 &&
            digit(text[i + 2]) >= 0) {
            out += static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return ToValidUtf8(out);
}

std::optional<std::string> HomeFiles::Resolve(const std::string& absolute,
                                              std::string& error) const {
    if (realHome_.empty()) {
        error = "Permission denied: the host has no home (HOME)";
        return std::nullopt;
    }
    if (absolute.empty() || absolute[0] != '/' || absolute.find('\0') != std::string::npos) {
        error = "Permission denied: not a path in the host's home";
        return std::nullopt;
    }
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(absolute, ec);
    if (ec || !Under(resolved, realHome_)) {
        error = "Permission denied: outside the host's home (" + home_ + ")";
        return std::nullopt;
    }
    return resolved.string();
}

bool HomeFiles::SetCurrent(std::string_view path, std::string& error) {
    const std::string absolute = Absolute(path);
    const auto real = Resolve(absolute, error);
    if (!real) return false;
    std::error_code ec;
    if (!fs::is_directory(*real, ec)) {
        error = "Cannot change directory";
        return false;
    }
    current_ = absolute;
    return true;
}

bool HomeFiles::Exists(const std::string& absolute, std::string& error) const {
    const auto real = Resolve(absolute, error);
    std::error_code ec;
    return real && fs::exists(*real, ec);
}

bool HomeFiles::IsFolder(const std::string& absolute) const {
    std::string error;
    const auto real = Resolve(absolute, error);
    std::error_code ec;
    return real && fs::is_directory(*real, ec);
}

std::int64_t HomeFiles::Length(const std::string& absolute, std::string& error) const {
    const auto real = Resolve(absolute, error);
    std::error_code ec;
    if (!real) return -1;
    const auto size = fs::file_size(*real, ec);
    if (ec) {
        error = Fault("I/O error", ec.value());
        return -1;
    }
    return static_cast<std::int64_t>(size);
}

bool HomeFiles::SetLength(const std::string& absolute, std::int64_t length, std::string& error) {
    const auto real = Resolve(absolute, error);
    if (!real) return false;
    std::error_code ec;
    if (length < 0 || !fs::is_regular_file(*real, ec)) {
        error = "Cannot set size";
        return false;
    }
    fs::resize_file(*real, static_cast<std::uintmax_t>(length), ec);
    if (ec) error = Fault("Cannot set size", ec.value());
    return !ec;
}

std::optional<double> HomeFiles::Modified(const std::string& absolute) const {
    std::string error;
    const auto real = Resolve(absolute, error);
    struct stat st {};
    if (!real || stat(real->c_str(), &st) != 0) return std::nullopt;
    return static_cast<double>(st.st_mtim.tv_sec) * 1000.0 +
           static_cast<double>(st.st_mtim.tv_nsec) / 1e6;
}

bool HomeFiles::Remove(const std::string& absolute, std::string& error) {
    const auto real = Resolve(absolute, error);
    if (!real) return false;
    if (*real == realHome_) {
        error = "Cannot delete";
        return false;
    }
    // A folder goes only when empty, as in the host.
    if (std::remove(real->c_str()) != 0) {
        error = Fault("Cannot delete", errno);
        return false;
    }
    return true;
}

std::optional<std::string> HomeFiles::Rename(const std::string& absolute,
                                             const std::string& newName, std::string& error) {
    const auto real = Resolve(absolute, error);
    if (!real) return std::nullopt;
    if (newName.empty() || newName == "." || newName == ".." ||
        newName.find('/') != std::string::npos || newName.find('\0') != std::string::npos) {
        error = "Cannot rename";
        return std::nullopt;
    }
    const std::string target = fs::path(absolute).parent_path().string() + "/" + newName;
    const auto realTarget = Resolve(target, error);
    if (!realTarget) return std::nullopt;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(*realTarget, ec))) {
        error = "File or folder already exists";
        return std::nullopt;
    }
    if (std::rename(real->c_str(), realTarget->c_str()) != 0) {
        error = Fault("Cannot rename", errno);
        return std::nullopt;
    }
    return target;
}

bool HomeFiles::Copy(const std::string& from, const std::string& to, std::string& error) {
    const int in = Open(from, "r", error);
    if (in == 0) return false;
    const auto bytes = Read(in, -1, true, error);
    Close(in);
    if (!bytes) return false;
    const int out = Open(to, "w", error);
    if (out == 0) return false;
    const bool ok = Write(out, *bytes, true, error);
    return Close(out) && ok;
}

bool HomeFiles::CreateFolder(const std::string& absolute, std::string& error) {
    const auto real = Resolve(absolute, error);
    if (!real) return false;
    std::error_code ec;
    fs::create_directories(*real, ec);
    if (ec || !fs::is_directory(*real, ec)) {
        error = Fault("Cannot create", ec.value());
        return false;
    }
    return true;
}

std::optional<std::vector<std::string>> HomeFiles::List(const std::string& absolute,
                                                        const std::string& mask,
                                                        std::string& error) {
    const auto real = Resolve(absolute, error);
    if (!real) return std::nullopt;
    std::vector<std::string> patterns;
    for (std::size_t at = 0; at <= mask.size();) {
        const auto end = std::min(mask.find_first_of(";,", at), mask.size());
        if (end > at) patterns.push_back(mask.substr(at, end - at));
        at = end + 1;
    }
    std::error_code ec;
    std::vector<std::string> out;
    for (fs::directory_iterator it(*real, ec), last; !ec && it != last; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool matches =
            patterns.empty() ||
            std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) {
                return fnmatch(p.c_str(), name.c_str(), 0) == 0;
            });
        std::error_code kind;
        if (!matches) continue;
        std::string entry = absolute;
        entry.append("/").append(name).append(it->is_directory(kind) ? "/" : "");
        out.push_back(std::move(entry));
    }
    if (ec) {
        error = Fault("I/O error", ec.value());
        return std::nullopt;
    }
    std::sort(out.begin(), out.end());
    return out;
}

int HomeFiles::Open(const std::string& absolute, std::string_view mode, std::string& error) {
    const auto real = Resolve(absolute, error);
    if (!real) return 0;
    if (open_.size() >= kMostOpen) {
        error = "Cannot open: " + std::to_string(kMostOpen) + " files are open already";
        return 0;
    }
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
    const char* how = "r";
    if (mode == "r") {
        flags |= O_RDONLY;
    } else if (mode == "w") {
        flags |= O_RDWR | O_CREAT;
        how = "w+";
    } else if (mode == "a") {
        flags |= O_RDWR | O_CREAT | O_APPEND;
        how = "a+";
    } else if (mode == "e") {
        flags |= O_RDWR | O_CREAT;
        how = "r+";
    } else {
        error = "Cannot open";
        return 0;
    }
    const int fd = open(real->c_str(), flags, 0644);
    if (fd < 0) {
        error = Fault("Cannot open", errno);
        return 0;
    }
    // Only a regular file: a FIFO or a device could hold the host at its first read.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        error = "Cannot open: not a regular file";
        return 0;
    }
    if (mode == "w" && ftruncate(fd, 0) != 0) {
        close(fd);
        error = Fault("Cannot open", errno);
        return 0;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, how);
    if (file == nullptr) {
        close(fd);
        error = "Cannot open";
        return 0;
    }
    open_[nextId_] = file;
    return nextId_++;
}

bool HomeFiles::Close(int id) {
    const auto it = open_.find(id);
    if (it == open_.end()) return false;
    const bool ok = std::fclose(it->second) == 0;
    open_.erase(it);
    return ok;
}

std::FILE* HomeFiles::FileOf(int id, std::string& error) {
    const auto it = open_.find(id);
    if (it == open_.end()) {
        error = kNotOpen;
        return nullptr;
    }
    return it->second;
}

std::optional<std::string> HomeFiles::Read(int id, std::int64_t count, bool binary,
                                           std::string& error) {
    std::FILE* file = FileOf(id, error);
    if (file == nullptr) return std::nullopt;
    std::string bytes;
    // count is in characters: a UTF-8 character's bytes are read whole.
    for (std::int64_t n = 0; count < 0 || n < count; ++n) {
        const int c = std::fgetc(file);
        if (c == EOF) break;
        bytes += static_cast<char>(c);
        if (!binary && c >= 0xC0) {
            const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
            for (int k = 0; k < more; ++k) {
                const int next = std::fgetc(file);
                if (next == EOF) break;
                bytes += static_cast<char>(next);
            }
        }
        if (bytes.size() > kMostRead) {
            error = "Read error: more than " + std::to_string(kMostRead >> 20) + " MiB at once";
            return std::nullopt;
        }
    }
    if (std::ferror(file)) {
        std::clearerr(file);
        error = "Read error";
        return std::nullopt;
    }
    return binary ? FromBytes(bytes) : ToValidUtf8(bytes);
}

std::optional<std::string> HomeFiles::ReadLine(int id, bool binary, std::string& error) {
    std::FILE* file = FileOf(id, error);
    if (file == nullptr) return std::nullopt;
    std::string bytes;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c == '\n') break;
        if (c == '\r') {
            const int next = std::fgetc(file);
            if (next != '\n' && next != EOF) std::ungetc(next, file);
            break;
        }
        bytes += static_cast<char>(c);
        if (bytes.size() > kMostRead) {
            error = "Read error: a line of more than " + std::to_string(kMostRead >> 20) + " MiB";
            return std::nullopt;
        }
    }
    return binary ? FromBytes(bytes) : ToValidUtf8(bytes);
}

bool HomeFiles::Write(int id, std::string_view text, bool binary, std::string& error) {
    std::FILE* file = FileOf(id, error);
    if (file == nullptr) return false;
    const std::string bytes = binary ? ToBytes(text) : std::string(text);
    fseeko(file, 0, SEEK_CUR);  // a write may follow a read only after a seek
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fflush(file) != 0) {
        std::clearerr(file);
        error = "Write error";
        return false;
    }
    return true;
}

bool HomeFiles::Eof(int id) {
    std::string error;
    std::FILE* file = FileOf(id, error);
    if (file == nullptr) return true;
    const int c = std::fgetc(file);
    if (c == EOF) {
        std::clearerr(file);
        return true;
    }
    std::ungetc(c, file);
    return false;
}

bool HomeFiles::Seek(int id, std::int64_t offset, int whence, std::string& error) {
    std::FILE* file = FileOf(id, error);
    if (file == nullptr) return false;
    const int how = whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : SEEK_SET;
    if (fseeko(file, static_cast<off_t>(offset), how) != 0) {
        error = "Cannot seek";
        return false;
    }
    return true;
}

std::int64_t HomeFiles::Tell(int id) {
    std::string error;
    std::FILE* file = FileOf(id, error);
    return file == nullptr ? -1 : static_cast<std::int64_t>(ftello(file));
}

}  // namespace hostsim
