#include "model/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace qp {
namespace {

[[noreturn]] void Fail(const std::string& path, int err) {
    throw FileError("ファイル「" + path + "」に書き込めませんでした。(" + std::strerror(err) + ")");
}

// The file a path stands for: a symbolic link (or a chain of them) leads to its final target,
// which may not exist yet.
std::string ResolveTarget(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const auto target = std::filesystem::weakly_canonical(path, ec);
        if (!ec) return target.string();
    }
    return path;
}

mode_t ModeFor(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// After the rename, so that the new name survives a power cut; a folder that cannot be
// synced (some network file systems) still holds the new file.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

void WriteFileAtomic(const std::string& path, std::string_view bytes, TFileAccess access) {
    if (path.empty()) Fail(path, ENOENT);
    const std::string target = ResolveTarget(path);
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) Fail(path, EISDIR);

    std::string temp = dir + "." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) Fail(path, errno);
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        Fail(path, err);
    };
    // Set before the first byte, so that a secret is never readable by others, not even briefly.
    const mode_t mode = access == TFileAccess::OwnerOnly ? 0600 : access == TFileAccess::Program ? 0755 : ModeFor(target);
    if (::fchmod(fd, mode) != 0) abandon(errno);
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            abandon(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        Fail(path, err);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        Fail(path, err);
    }
    SyncFolder(dir);
}

}  // namespace qp
