#pragma once
// A mail as its recipient would read it: header fields unfolded with their RFC 2047 encoded
// words decoded, the body's transfer encoding (base64, quoted-printable) undone and its
// charset converted, everything in UTF-8.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qp::preview {

struct TDecodedMail {
    std::vector<std::pair<std::string, std::string>> Headers;  // in the mail's order
    std::string Body;                                          // LF line ends

    // The first field of that name (case-insensitive), or empty.
    std::string Header(std::string_view name) const;
};

// Never raises: what cannot be decoded is shown as it stands, bytes that are not valid in
// their charset become U+FFFD.
TDecodedMail DecodeMail(std::string_view raw);

// One unfolded header value with its encoded words ("=?charset?B|Q?text?=") decoded; the
// blanks between two adjacent encoded words are dropped.
std::string DecodeHeaderValue(std::string_view value);

// Transfer encodings. Base64 skips characters outside its alphabet; quoted-printable joins
// soft line breaks and keeps a malformed "=" as it is.
std::string DecodeBase64(std::string_view text);
std::string DecodeQuotedPrintable(std::string_view text, bool headerForm = false);

// Bytes in charset to UTF-8; bytes that cannot be converted become U+FFFD. An unknown
// charset is read as UTF-8.
std::string ToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace qp::preview
