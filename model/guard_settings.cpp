#include "model/guard_settings.h"

#include <algorithm>
#include <climits>

#include "model/ini_file.h"

namespace qp {

namespace {

constexpr const char* kSection = "GUARD";

// A number beyond int keeps its sign and stays out of range, so the make's check refuses it.
int ReadInt(const TIniFile& ini, const char* key, int def) {
    const long long v = ini.ReadInteger(kSection, key, def);
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace

void TGuardSettings::WriteIni(TIniFile& ini) const {
    ini.WriteBool(kSection, "UseToken", UseToken);
    ini.WriteInteger(kSection, "MinSeconds", MinSeconds);
    ini.WriteInteger(kSection, "TokenHours", TokenHours);
    ini.WriteBool(kSection, "UseHoneypot", UseHoneypot);
    ini.WriteInteger(kSection, "LimitCount", LimitCount);
    ini.WriteInteger(kSection, "LimitMinutes", LimitMinutes);
    ini.WriteInteger(kSection, "ReplyLimit", ReplyLimit);
    ini.WriteBool(kSection, "VisitorFrom", VisitorFrom);
}

TGuardSettings TGuardSettings::ReadIni(const TIniFile& ini) {
    const TGuardSettings d;
    TGuardSettings g;
    g.UseToken = ini.ReadBool(kSection, "UseToken", d.UseToken);
    g.MinSeconds = ReadInt(ini, "MinSeconds", d.MinSeconds);
    g.TokenHours = ReadInt(ini, "TokenHours", d.TokenHours);
    g.UseHoneypot = ini.ReadBool(kSection, "UseHoneypot", d.UseHoneypot);
    g.LimitCount = ReadInt(ini, "LimitCount", d.LimitCount);
    g.LimitMinutes = ReadInt(ini, "LimitMinutes", d.LimitMinutes);
    g.ReplyLimit = ReadInt(ini, "ReplyLimit", d.ReplyLimit);
    g.VisitorFrom = ini.ReadBool(kSection, "VisitorFrom", d.VisitorFrom);
    return g;
}

}  // namespace qp
