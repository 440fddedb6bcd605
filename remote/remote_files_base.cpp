#include "remote/remote_files_base.h"

#include <ctime>

namespace qp {

std::string TRemoteFilesBase::LogTimeStamp() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &tm);
    return buf;
}

}  // namespace qp
