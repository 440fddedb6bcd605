#pragma once
// The made form's defences against spam bots, relay abuse and floods (project section
// GUARD), as one value for the script writer: what the runtime enforces on the server. The
// settings table keeps the keys, defaults and bounds; these defaults are a new project's.
#include <string>

namespace qp {

struct TGuardSettings {
    bool UseToken = true;     // form pages carry a signed token that confirm and send require
    int MinSeconds = 3;       // a confirm or send sooner than this after the page is refused
    int TokenHours = 24;      // a token older than this is refused
    bool UseHoneypot = true;  // a hidden field that only bots fill
    int LimitCount = 5;       // sends per visitor address in LimitMinutes; 0 = no limit
    int LimitMinutes = 60;
    int ReplyLimit = 2;       // automatic replies to one address in 24 hours; 0 = no limit
    bool VisitorFrom = false; // false: a visitor's address goes to Reply-To, not From
    int ReplyPerHour = 20;    // automatic replies to all addresses in an hour; 0 = no cap
    int ReplyEchoChars = 500; // a value longer than this is cut in the automatic reply; 0 = whole
    std::string EnvelopeFrom; // sendmail's -f; empty: the administrator mail's To

    bool operator==(const TGuardSettings&) const = default;
};

}  // namespace qp
