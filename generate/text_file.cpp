#include "generate/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qp {
namespace {

[[noreturn]] void Fail(const std::string& path, int err) {
    throw FileError("ファイル「" + path + "」に書き込めませんでした。(" + std::strerror(err) + ")");
}

mode_t ModeForNewFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
    if (path.empty()) Fail(path, ENOENT);
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) Fail(path, EISDIR);

    std::string temp = dir + "." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) Fail(path, errno);
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        Fail(path, err);
    };
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
    if (::fchmod(fd, ModeForNewFile(path)) != 0) abandon(errno);
    if (::fsync(fd) != 0) abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        Fail(path, err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        Fail(path, err);
    }
}

std::string ToCrLfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            out.append(text.substr(start));
            out += "\r\n";
            break;
        }
        out.append(text.substr(start, end - start));
        out += "\r\n";
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return out;
}

void WriteTextFile(const std::string& path, std::string_view text) {
    WriteFileAtomic(path, ToCrLfLines(text));
}

}  // namespace qp
