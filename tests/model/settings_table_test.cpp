// The settings table: every entry saves, loads and resets as the table says, and a setting
// added to the table is saved, loaded, reset and range-checked with no other edit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/error.h"
#include "model/ini_file.h"
#include "model/project_config.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

using ::testing::HasSubstr;

// A value for the entry that is neither of its defaults and within its bounds.
TSettingValue Unusual(const TSettingDef& d) {
    switch (d.Kind) {
        case TSettingKind::Text: return std::string("v ") + d.Key + " \x82\xa0";  // ends in "あ"
        case TSettingKind::MultiLine: return std::string("<p>") + d.Key + "</p>\r\n\"q\", x\r\n";
        case TSettingKind::Boolean: return !std::get<bool>(d.NewValue) || !std::get<bool>(d.MissingValue);
        case TSettingKind::Integer: return d.Min == INT_MIN ? 7 : d.Min + 1;
        case TSettingKind::Choice: return static_cast<int>(d.Choices.size()) - 1;
    }
    return {};
}

TSettingValues UnusualValues(const TSettingsTable& table) {
    TSettingValues v(table);
    for (std::size_t i = 0; i < table.size(); ++i) v.Set(i, Unusual(table[i]));
    return v;
}

TEST(SettingsTable, EveryProjectSettingGoesThroughTheFileAndBackToItsDefaults) {
    TempDir dir;
    TProjectConfig p;
    p.Settings() = UnusualValues(ProjectSettings());
    p.SaveToFile(dir.File("p.qpf"));
    TProjectConfig q;
    q.LoadFromFile(dir.File("p.qpf"));
    for (std::size_t i = 0; i < ProjectSettings().size(); ++i)
        EXPECT_EQ(q.Settings().Value(i), p.Settings().Value(i)) << ProjectSettings()[i].Key;

    q.Reset();
    EXPECT_TRUE(q.Settings() == TSettingValues(ProjectSettings()));
    EXPECT_EQ(q.GetGuard(), TGuardSettings());  // the script writer's view agrees with the table

    WriteFile(dir.File("empty.qpf"), "");
    q.LoadFromFile(dir.File("empty.qpf"));
    for (std::size_t i = 0; i < ProjectSettings().size(); ++i)
        EXPECT_EQ(q.Settings().Value(i), ProjectSettings()[i].MissingValue) << ProjectSettings()[i].Key;
}

TEST(SettingsTable, AnAddedSettingIsSavedLoadedResetAndCheckedWithNoOtherEdit) {
    TSettingsTable table = ProjectSettings();
    const auto next = [&] { return static_cast<TSetting>(table.size()); };
    table.push_back({.Id = next(), .Section = "ARCHIVE", .Key = "UseArchive", .Kind = TSettingKind::Boolean,
                     .NewValue = true, .MissingValue = false});
    table.push_back({.Id = next(), .Section = "ARCHIVE", .Key = "MaxMegabytes", .Kind = TSettingKind::Integer,
                     .NewValue = 20, .MissingValue = 20, .Min = 1, .Max = 500, .Label = "受信箱の上限(MB)"});
    table.push_back({.Id = next(), .Section = "ARCHIVE", .Key = "Format", .Kind = TSettingKind::Choice,
                     .NewValue = 0, .MissingValue = 1, .Choices = {{"MBOX"}, {"MAILDIR"}}, .UnknownChoice = 1});
    const std::size_t use = table.size() - 3, megabytes = use + 1, style = use + 2;

    const TSettingValues fresh(table);
    EXPECT_EQ(fresh.Bool(use), true);
    EXPECT_EQ(fresh.Int(style), 0);

    TSettingValues values = fresh;
    values.Set(megabytes, 64);
    values.Set(style, 1);
    TIniFile ini = TIniFile::NewFile("");
    values.WriteIni(ini);
    // After the project's own sections, in the table's order.
    EXPECT_THAT(ini.ToText(),
                HasSubstr("MaxMegabytes=20\r\n\r\n[ARCHIVE]\r\nUseArchive=1\r\nMaxMegabytes=64\r\nFormat=MAILDIR\r\n\r\n"));
    const TSettingValues back = TSettingValues::ReadIni(ini, table);
    for (const std::size_t i : {use, megabytes, style}) EXPECT_EQ(back.Value(i), values.Value(i)) << i;

    // An older file has neither section; a damaged word takes the entry's fallback.
    TIniFile older = TIniFile::NewFile("");
    older.WriteString("ARCHIVE", "Format", "mh");
    const TSettingValues loaded = TSettingValues::ReadIni(older, table);
    EXPECT_EQ(loaded.Bool(use), false);
    EXPECT_EQ(loaded.Int(megabytes), 20);
    EXPECT_EQ(loaded.Int(style), 1);

    values.Set(megabytes, 501);
    try {
        values.CheckRanges();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Message(), "「受信箱の上限(MB)」は1から500までの数にしてください。");
    }
    EXPECT_THROW(values.Set(megabytes, std::string("20")), std::bad_variant_access);
}

}  // namespace
}  // namespace qp::test
