// The single settings as the sheet's pages read and change them, by the
// names CEngineSettings gives them.
#pragma once

#include <QString>

namespace hvdlg {

// The value the engine uses now; empty when there is no such setting.
QString EngineValue(const char* name);
bool EngineSwitch(const char* name);
// Changes one setting; false, after telling the user why, when refused.
bool ChangeEngineValue(const char* name, const QString& value);

}  // namespace hvdlg
