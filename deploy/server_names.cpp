#include "deploy/server_names.h"

#include <algorithm>

#include "model/charset.h"
#include "model/error.h"

namespace qp {
namespace {

bool Ascii(const std::string& name) {
    return std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

template <class Convert>
std::string Converted(TRemoteFiles& client, const std::string& name, Convert convert) {
    if (Ascii(name) || !client.NamesInUtf8()) return name;
    try {
        return convert(name);
    } catch (const Error&) {
        return name;
    }
}

}  // namespace

std::string ToServerName(TRemoteFiles& client, const std::string& projectName) {
    return Converted(client, projectName, [](const std::string& n) { return charset::SjisToUtf8(n); });
}

std::string FromServerName(TRemoteFiles& client, const std::string& serverName) {
    return Converted(client, serverName, [](const std::string& n) { return charset::Utf8ToSjis(n); });
}

}  // namespace qp
