#include "engine/settings/dialogs/engine_values.h"

#include "engine/settings/dialogs/dialog_support.h"
#include "harvion/settings.h"

namespace hvdlg {

QString EngineValue(const char* name) {
  for (const CEngineSettings::Item& item : CEngineSettings::List())
    if (item.name == name) return FromEngine(item.value);
  return QString();
}

bool EngineSwitch(const char* name) { return EngineValue(name) == QLatin1String("on"); }

bool ChangeEngineValue(const char* name, const QString& value) {
  const std::string why = CEngineSettings::Change(name, ToEngine(value));
  if (why.empty()) return true;
  Refuse(FromEngine(why));
  return false;
}

}  // namespace hvdlg
