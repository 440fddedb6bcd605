// The script and both sample pages of the fixture projects, compared byte for byte with the
// files in golden/. After a deliberate change of the output, regenerate them with
// scripts/update-golden (which runs these tests with QP_UPDATE_GOLDEN=1) and review the diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fixtures.h"
#include "generate/cgi_writer.h"
#include "generate/make_driver.h"
#include "generate/sample_pages.h"
#include "support/guard_secret_mask.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

std::string GoldenPath(const std::string& file) {
    return std::string(QP_SOURCE_DIR) + "/tests/generate/golden/" + file;
}

bool Updating() {
    const char* v = std::getenv("QP_UPDATE_GOLDEN");
    return v != nullptr && std::string(v) == "1";
}

void CompareWithGolden(const std::string& file, const std::string& actual) {
    const std::string path = GoldenPath(file);
    if (Updating()) {
        WriteFile(path, actual);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " is missing; run scripts/update-golden";
    const std::string expected = ReadFile(path);
    if (expected == actual) return;
    std::size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    ADD_FAILURE() << file << " differs from the golden file at byte " << at << " (sizes " << expected.size()
                  << " and " << actual.size() << "); "
                  << "run scripts/update-golden if the change is intended";
}

class GoldenTest : public ::testing::TestWithParam<NamedProject> {};

TEST_P(GoldenTest, ScriptAndSamplePagesMatch) {
    const auto project = GetParam().make();
    const std::string& name = GetParam().name;
    CompareWithGolden(name + ".pl", MakeCgiScript(*project, kTestGuardSecret));
    CompareWithGolden(name + ".form.html", MakeFormSampleHtml(*project));
    CompareWithGolden(name + ".confirm.html", MakeConfirmSampleHtml(*project));
    CompareWithGolden(name + ".html5.form.html", MakeFormSampleHtml(*project, TPageStyle::Html5));
    CompareWithGolden(name + ".html5.confirm.html", MakeConfirmSampleHtml(*project, TPageStyle::Html5));
    // What a make writes: the same script in EUC-JP with CR LF line ends.
    CompareWithGolden(name + ".cgi", MakeCgiText(*project, kTestGuardSecret));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenTest, ::testing::ValuesIn(AllFixtureProjects()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace qp::test
