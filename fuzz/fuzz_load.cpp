// Loads arbitrary bytes as a project file. A load either fails with the system's error and
// leaves the settings as they were, or succeeds; then saving and loading again is stable.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/error.h"
#include "model/project_config.h"

namespace {

std::string TempFolder() {
    static const std::string folder = [] {
        // Memory-backed when possible: every save ends in an fsync, which a disk makes slow.
        const char* base = std::getenv("TMPDIR");
        std::string dir = base && *base ? base : "/tmp";
        if (access("/dev/shm", W_OK) == 0) dir = "/dev/shm";
        std::string templ = dir + "/qpfuzz-XXXXXX";
        if (!mkdtemp(templ.data())) std::abort();
        static std::string removeAtExit;
        removeAtExit = templ;
        std::atexit([] {
            for (const char* name : {"/in.qpf", "/first.qpf", "/second.qpf"}) {
                std::remove((removeAtExit + name).c_str());
            }
            ::rmdir(removeAtExit.c_str());
        });
        return templ;
    }();
    return folder;
}

void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

std::string ReadBytes(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) std::abort();
    std::string out;
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string in = TempFolder() + "/in.qpf";
    const std::string first = TempFolder() + "/first.qpf";
    const std::string second = TempFolder() + "/second.qpf";
    WriteBytes(in, data, size);

    qp::TProjectConfig project;
    project.SetFtpChmod("sentinel");
    try {
        project.LoadFromFile(in);
    } catch (const qp::Error&) {
        if (project.GetFtpChmod() != "sentinel") std::abort();  // settings untouched on failure
        return 0;
    }
    project.SaveToFile(first);
    qp::TProjectConfig again;
    again.LoadFromFile(first);  // a file the program wrote always loads
    if (again.GetItemCount() != project.GetItemCount()) std::abort();
    again.SaveToFile(second);
    if (ReadBytes(first) != ReadBytes(second)) std::abort();
    return 0;
}
