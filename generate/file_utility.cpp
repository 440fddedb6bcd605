#include "generate/file_utility.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "model/error.h"

namespace qp::TkFileUtility {

std::string GetTempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
    if (path.empty()) throw Error("Cannot get temporary direcotry.");
    if (path.back() != '/') path += '/';
    return path;
}

std::string CreateTempFile(const std::string& folder, const std::string& prefix) {
    std::string dir = folder.empty() ? GetTempDirectory() : folder;
    if (dir.back() != '/') dir += '/';
    if (prefix.find('/') != std::string::npos) throw Error("一時ファイルの作成に失敗しました。");
    std::string templ = dir + prefix + "XXXXXX";
    const int fd = mkstemp(templ.data());
    if (fd < 0) throw Error("一時ファイルの作成に失敗しました。");
    ::close(fd);
    return templ;
}

std::string CreateTempFile() {
    return CreateTempFile("", "");
}

std::int64_t GetFileSize(const std::string& path) {
    // Opened for reading, as the upload will read it; others may go on writing it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int err = fd < 0 ? errno : 0;
    struct stat st {};
    if (fd >= 0) {
        if (::fstat(fd, &st) != 0)
            err = errno;
        else if (S_ISDIR(st.st_mode))
            err = EISDIR;
        ::close(fd);
    }
    if (err != 0) throw Error("Cannot open file \"" + path + "\". " + std::strerror(err));
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace qp::TkFileUtility
