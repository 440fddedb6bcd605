#pragma once
// Temporary files and file sizes for the make and upload steps. Paths are the platform's
// own byte strings; failures raise Error with a fixed message.
#include <cstdint>
#include <string>

namespace qp::TkFileUtility {

// The folder for temporary files ($TMPDIR, else /tmp), always ending with "/".
std::string GetTempDirectory();

// Creates a new, empty file with a unique name in folder (empty: GetTempDirectory()),
// its name starting with prefix, and returns its full path. The file is not removed here.
std::string CreateTempFile(const std::string& folder, const std::string& prefix);
std::string CreateTempFile();

// Size of an existing file in bytes. Files of 2 GiB and more are measured correctly
// (a 32-bit result would turn them negative).
std::int64_t GetFileSize(const std::string& path);

}  // namespace qp::TkFileUtility
