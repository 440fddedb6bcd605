// The converter project file: keys, their order, and merging into an existing file.
#include <gtest/gtest.h>

#include <string>

#include "fixtures.h"
#include "generate/converter_file.h"
#include "model/error.h"
#include "model/ini_file.h"
#include "model/item_checkbox.h"
#include "model/item_textarea.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

std::unique_ptr<TProjectConfig> TwoItems() {
    auto p = std::make_unique<TProjectConfig>();
    auto a = std::make_unique<TProjectItemCheckbox>("agree");
    a->SetNameValue(S("同意"));
    p->AddItem(std::move(a));
    auto b = std::make_unique<TProjectItemTextarea>("body");
    b->SetNameValue(S("内容"));
    p->AddItem(std::move(b));
    return p;
}

std::string Block(int n, const std::string& name, int rowType) {
    const std::string i = std::to_string(n);
    return "PARAM_KEY" + i + "=" + name + "=\r\nFIELD_NAME" + i + "=" + name + "=\r\nPARAM_ROW_TYPE" + i +
           "=" + std::to_string(rowType) + "\r\nPARAM_POS_TYPE" + i + "=0\r\nPARAM_ORDER" + i + "=" + i +
           "\r\nFIELD_ORDER" + i + "=" + i + "\r\nPARAM_REGEXT" + i + "=0\r\nTRIM" + i + "=0\r\nONE_LINE" +
           i + "=0\r\nAUTO_FORMAT" + i + "=0\r\nSTART_LINE" + i + "=1\r\nENDSTR" + i + "=\r\nENDSTR_REGEXP" +
           i + "=0\r\nMAIL_ADDRESS" + i + "=0\r\nMAIL_NAME" + i + "=0\r\n";
}

TEST(ConverterFile, NewFileLayout) {
    TempDir dir;
    const std::string path = dir.File("mail.SHF");
    SaveConverterFile(*TwoItems(), path);
    EXPECT_EQ(ReadFile(path), "[EML]\r\nMAILTYPE=0\r\nDIRECTORY=\r\nPARAM=2\r\n" + Block(0, S("同意"), 1) +
                                  Block(1, S("内容"), 0) + "\r\n[SYSTEM]\r\nVERSION=4\r\n\r\n");
}

TEST(ConverterFile, ProjectWithoutItems) {
    TempDir dir;
    const std::string path = dir.File("empty.SHF");
    SaveConverterFile(*MakeEmptyProject(), path);
    EXPECT_EQ(ReadFile(path),
              "[EML]\r\nMAILTYPE=0\r\nDIRECTORY=\r\nPARAM=0\r\n\r\n[SYSTEM]\r\nVERSION=4\r\n\r\n");
}

TEST(ConverterFile, MergesIntoExistingFile) {
    TempDir dir;
    const std::string path = dir.File("old.SHF");
    // An earlier file of five parameters with settings of the converter's own.
    std::string old =
        "[OPTION]\r\nOUTPUT=C:\\out.csv\r\n\r\n[EML]\r\nDIRECTORY=C:\\mail\r\nPARAM=5\r\nMAILTYPE=1\r\n";
    for (int i = 0; i < 5; ++i) old += Block(i, "old" + std::to_string(i), 1);
    old += "\r\n";
    WriteFile(path, old);

    SaveConverterFile(*MakeFullProject(), path);  // ten items
    TIniFile after(path);
    EXPECT_EQ(after.ReadString("OPTION", "OUTPUT", ""), "C:\\out.csv");
    EXPECT_EQ(after.ReadString("EML", "PARAM", ""), "10");
    EXPECT_EQ(after.ReadString("EML", "MAILTYPE", ""), "0");
    EXPECT_EQ(after.ReadString("EML", "DIRECTORY", "x"), "");
    EXPECT_EQ(after.ReadString("SYSTEM", "VERSION", ""), "4");
    EXPECT_EQ(after.ReadString("EML", "PARAM_KEY4", ""), S("会員番号="));
    EXPECT_EQ(after.ReadString("EML", "PARAM_KEY5", ""), S("合言葉="));
    EXPECT_EQ(after.ReadString("EML", "PARAM_ROW_TYPE6", ""), "0");
    // Sections and keys keep their places: OPTION first, DIRECTORY before PARAM.
    const std::string text = ReadFile(path);
    EXPECT_EQ(
        text.rfind("[OPTION]\r\nOUTPUT=C:\\out.csv\r\n\r\n[EML]\r\nDIRECTORY=\r\nPARAM=10\r\nMAILTYPE=0\r\n",
                   0),
        0u);

    // Three items over the ten: PARAM shrinks, the keys of the later parameters stay.
    auto p = TwoItems();
    auto c = std::make_unique<TProjectItemCheckbox>("third");
    c->SetNameValue("third");
    p->AddItem(std::move(c));
    SaveConverterFile(*p, path);
    TIniFile again(path);
    EXPECT_EQ(again.ReadString("EML", "PARAM", ""), "3");
    EXPECT_EQ(again.ReadString("EML", "PARAM_KEY2", ""), "third=");
    EXPECT_EQ(again.ReadString("EML", "PARAM_KEY3", ""), S("郵便番号="));
    EXPECT_EQ(again.ReadString("EML", "PARAM_KEY9", ""), S("都道府県="));
}

TEST(ConverterFile, UnwritableTargetRaisesAndLeavesNothing) {
    TempDir dir;
    EXPECT_THROW(SaveConverterFile(*TwoItems(), dir.File("missing/x.SHF")), Error);
}

}  // namespace
}  // namespace qp::test
