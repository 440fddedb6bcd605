#include "deploy/make_upload.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "generate/make_checks.h"
#include "generate/make_driver.h"
#include "model/atomic_file.h"

namespace qp {

std::string FindSupportFolder(const std::string& programFolder, const std::string& systemFolder) {
    std::string program = programFolder;
    if (!program.empty() && program.back() != '/') program += '/';
    const std::string candidates[] = {
        program + "lib/",
        std::filesystem::path(program + "../share/quillpost/lib/").lexically_normal().string(),
        systemFolder,
    };
    for (const auto& folder : candidates) {
        std::error_code ec;
        if (!folder.empty() && std::filesystem::is_regular_file(folder + "Quillpost.pm", ec)) return folder;
    }
    return candidates[0];
}

std::string SupportFolder() {
    std::string exe(PATH_MAX, '\0');
    ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size());
    std::string folder = "./";
    if (n > 0) {
        exe.resize(static_cast<std::size_t>(n));
        folder = exe.substr(0, exe.rfind('/') + 1);
    }
    return FindSupportFolder(folder, "/usr/share/quillpost/lib/");
}

std::vector<TUploadFile> MakeUploadList(const std::string& tempFile, const std::string& cgiRemoteName,
                                        const std::string& supportFolder) {
    std::string lib = supportFolder;
    if (!lib.empty() && lib.back() != '/') lib += '/';
    return {
        TUploadFile(tempFile, cgiRemoteName, true),
        TUploadFile(lib + "Quillpost.pm", "Quillpost.pm", false),
        TUploadFile(lib + "jcode.pl", "jcode.pl", false),
        TUploadFile(lib + "mimew.pl", "mimew.pl", false),
    };
}

void CopyRuntimeFiles(const std::string& supportFolder, const std::string& folder) {
    std::string from = supportFolder.empty() ? SupportFolder() : supportFolder;
    if (from.back() != '/') from += '/';
    std::string to = folder.empty() ? "./" : folder;
    if (to.back() != '/') to += '/';
    for (const char* name : {"Quillpost.pm", "jcode.pl", "mimew.pl"}) {
        std::ifstream in(from + name, std::ios::binary);
        if (!in.is_open()) throw FileError("ファイル「" + from + name + "」が見つかりません。");
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) throw FileError("ファイル「" + from + name + "」を読めません。");
        WriteFileAtomic(to + name, bytes);
    }
}

TUploadJob::TUploadJob(TUploadJob&& other) noexcept
    : TempFile(std::move(other.TempFile)),
      Files(std::move(other.Files)),
      Connection(std::move(other.Connection)),
      Directory(std::move(other.Directory)),
      ChmodCommand(std::move(other.ChmodCommand)) {
    other.TempFile.clear();
}

TUploadJob::~TUploadJob() {
    if (!TempFile.empty()) ::unlink(TempFile.c_str());
}

TUploadJob PrepareUpload(const TProjectConfig& project, const std::string& supportFolder) {
    CheckForMake(project);
    CheckForUpload(project);
    TUploadJob job;
    job.TempFile = MakeCgiTempFile(project);
    job.Files = MakeUploadList(job.TempFile, project.GetFtpFileName(),
                               supportFolder.empty() ? SupportFolder() : supportFolder);
    job.Connection = ConnectionOf(project);
    job.Directory = project.GetFtpDirectory();
    job.ChmodCommand = project.GetFtpChmod();
    return job;
}

}  // namespace qp
