#pragma once
// The checks that run before a CGI is made (the project itself) and before it is uploaded
// (the server settings). Every problem is found at once: refusals stop the make, warnings
// point at a form that would not work as meant but let the make go on.
#include <string>
#include <vector>

#include "model/project_config.h"

namespace qp {

struct TMakeProblem {
    std::string Message;   // UTF-8
    std::string Control;   // objectName of the window control that holds the cause; empty: none
    bool Warning = false;
};

// Refusals first, in the order of the project's settings, then the warnings.
std::vector<TMakeProblem> FindMakeProblems(const TProjectConfig& project);
std::vector<TMakeProblem> FindUploadProblems(const TProjectConfig& project);

// Raise Error with every refusal, one a line; warnings do not stop them.
void CheckForMake(const TProjectConfig& project);
void CheckForUpload(const TProjectConfig& project);

// The lines of the warnings among problems (UTF-8), for a caller that shows them as it goes.
std::vector<std::string> WarningLines(const std::vector<TMakeProblem>& problems);

}  // namespace qp
