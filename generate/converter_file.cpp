// The project file of the mail-log converter: one parameter per item, merged into an
// existing file so that whatever else the converter keeps there survives.
#include "generate/converter_file.h"

#include "model/ini_file.h"
#include "model/project_config.h"

namespace qp {

void SaveConverterFile(const TProjectConfig& project, const std::string& path) {
    TIniFile ini(path);
    ini.WriteString("EML", "MAILTYPE", "0");
    ini.WriteString("EML", "DIRECTORY", "");
    ini.WriteInteger("EML", "PARAM", project.GetItemCount());
    ini.WriteString("SYSTEM", "VERSION", "4");
    int index = 0;
    for (const auto& item : project.GetItems()) item->WriteConverterParams(ini, "EML", index++);
    ini.UpdateFile();
}

}  // namespace qp
