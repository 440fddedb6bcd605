#pragma once
// The one way the program replaces a file (project, script, sample page, converter file):
// a temporary file in the target's folder, flushed to disk, renamed over the target. A failed
// write leaves the earlier file whole and no temporary file behind.
#include <string>
#include <string_view>

#include "model/error.h"

namespace qp {

// Who may read the written file: Usual keeps an existing file's permissions and gives a new
// one 0666 less the umask; OwnerOnly makes it 0600 (it holds a secret); Program makes it 0755
// (a CGI the web server runs).
enum class TFileAccess { Usual, OwnerOnly, Program };

// Replaces the file at path by bytes. A symbolic link is written through: the file it
// points to is replaced and the link the user made stays, pointing at the new content.
// Raises FileError naming path and the system's reason.
void WriteFileAtomic(const std::string& path, std::string_view bytes, TFileAccess access = TFileAccess::Usual);

}  // namespace qp
