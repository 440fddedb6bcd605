#pragma once
// Projects shared by the generation tests: each is built in code, so the golden files show
// exactly what the writer makes of known settings.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "model/project_config.h"

namespace qp::test {

// The fixtures are projects from before the HTML5 samples: XHTML style and finish page.
std::unique_ptr<TProjectConfig> MakeXhtmlProject();
// Every item type, the automatic reply, the confirmation page and the finish page template;
// texts hold "$", "@", "\", quotes, "__END__" lines and Shift_JIS characters whose second
// byte is 0x5C.
std::unique_ptr<TProjectConfig> MakeFullProject();
// One text field, no automatic reply, no confirmation page, a redirect to a URL with "$".
std::unique_ptr<TProjectConfig> MakeRedirectProject();
// A new project without items and with an empty finish page (a script can still be written).
std::unique_ptr<TProjectConfig> MakeEmptyProject();
// A finish page move type that only a file can carry (7).
std::unique_ptr<TProjectConfig> MakeOddFinishProject();

struct NamedProject {
    std::string name;
    std::unique_ptr<TProjectConfig> (*make)();
};
std::vector<NamedProject> AllFixtureProjects();

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        if (old != nullptr) old_ = old;
        had_ = old != nullptr;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

}  // namespace qp::test
