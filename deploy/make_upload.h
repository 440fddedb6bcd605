#pragma once
// The part of "make and upload" that needs no window: the checks, the script in a temporary
// file and the list of the four files to upload. The desktop program shows the upload dialog
// with the result; quillpost-cli runs TUploadSequence with it directly.
#include <string>
#include <vector>

#include "deploy/connection.h"
#include "deploy/upload_file.h"
#include "model/project_config.h"

namespace qp {

// What one upload needs, taken from the project.
struct TUploadJob {
    TUploadJob() = default;
    TUploadJob(TUploadJob&& other) noexcept;
    TUploadJob& operator=(TUploadJob&&) = delete;
    TUploadJob(const TUploadJob&) = delete;
    // Removes the script's copy: it holds the make's secret and must not pile up.
    ~TUploadJob();

    std::string TempFile;  // the converted script, in the temporary folder while the job lives
    std::vector<TUploadFile> Files;
    TConnection Connection;
    std::string Directory;
    std::string ChmodCommand;
};

// The Perl runtime's folder, ending with "/": "lib" beside the running program (a build tree),
// else "../share/quillpost/lib" from it (an installed or unpacked package), else
// /usr/share/quillpost/lib. The first that holds Quillpost.pm; none: the one beside.
std::string SupportFolder();
// The same search from programFolder, with systemFolder (ending with "/") last.
std::string FindSupportFolder(const std::string& programFolder, const std::string& systemFolder);

// The four entries in upload order: the script under its remote name with the permission
// flag, then Quillpost.pm, jcode.pl and mimew.pl from supportFolder.
std::vector<TUploadFile> MakeUploadList(const std::string& tempFile, const std::string& cgiRemoteName,
                                        const std::string& supportFolder);

// Quillpost.pm, jcode.pl and mimew.pl from supportFolder (empty: SupportFolder()) into folder,
// each written whole. Raises FileError naming a file that cannot be read or written.
void CopyRuntimeFiles(const std::string& supportFolder, const std::string& folder);

// CheckForMake, CheckForUpload (their Error is raised and nothing is written), then the
// script written to a new temporary file, and the job built around it. supportFolder empty
// means SupportFolder().
TUploadJob PrepareUpload(const TProjectConfig& project, const std::string& supportFolder);

}  // namespace qp
