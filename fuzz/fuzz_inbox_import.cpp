// Feeds arbitrary bytes to the import of a downloaded inbox file, as a server (or whoever can
// write the file there) may hand them. What must hold:
// - nothing crashes or hangs, whatever the lines;
// - nothing forged opens: without the private key no line can be made that imports as a
//   message, so every line that looks like a message is refused and nothing is added;
// - the key's own unwrapping refuses any block it did not make.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

#include "inbox/inbox_key.h"
#include "inbox/inbox_record.h"
#include "inbox/inbox_store.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_inbox_import: %s\n", what);
    std::abort();
}

// One key for the whole run: making a 3072-bit key takes a while.
const qp::TInboxPrivateKey& Key() {
    static const std::unique_ptr<qp::TInboxPrivateKey> key = [] {
        char folder[] = "/tmp/qp-fuzz-inbox-XXXXXX";
        if (::mkdtemp(folder) == nullptr) Fail("no temporary folder");
        const std::string file = std::string(folder) + "/key.pem";
        qp::MakeInboxKeyPair(file, "");
        auto loaded = std::make_unique<qp::TInboxPrivateKey>(file, "");
        ::unlink(file.c_str());
        ::rmdir(folder);
        return loaded;
    }();
    return *key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // Paths that do not exist: the stores start empty and are never saved.
    qp::TInboxStore store("/nonexistent/qp-fuzz.inbox");
    qp::TInboxStore aside("/nonexistent/qp-fuzz.inbox-bad");
    const qp::TInboxImport import = qp::ImportInboxFile(bytes, store, aside, Key());
    if (import.Added != 0 || import.MailFailed != 0) Fail("a forged line imported as a message");
    for (const std::string& line : store.Lines()) {
        if (qp::ReadInboxLineHead(line).Kind == qp::TInboxLineKind::Message) Fail("a forged message was kept");
    }
    if (Key().Unwrap(bytes).has_value()) Fail("a block the key did not wrap opened");
    return 0;
}
