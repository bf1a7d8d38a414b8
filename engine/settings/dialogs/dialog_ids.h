// The control ids of the engine's dialog templates. Every control carries
// its id as its object name ("id_1001"), so tests and desktop automation
// find it.
#pragma once

namespace hvdlg {

enum ControlId : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdApply = 12321,
  kIdTabs = 12320,
  // List editor (template 130).
  kIdList = 1000,
  kIdAdd = 1001,
  kIdCopy = 1002,
  kIdModify = 1003,
  kIdRemove = 1004,
  kIdListGroup = 1005,
  // File Types (309) and Locations (152).
  kIdEditorFrame = 1010,
  kIdDetailName = 1011,
  kIdDetailRetrieve = 1012,
  kIdDetailExclude = 1013,
  // Modify / Add File Types (310) and Locations (312).
  kIdStrategyName = 1020,
  kIdStrategyRetrieve = 1021,
  kIdStrategyExclude = 1022,
  kIdStrategyHelp = 1023,
  // Connection page.
  kIdAutodial = 1030,
  kIdConnection = 1031,
  kIdDialAdd = 1032,
  kIdDialProperties = 1033,
  kIdThreads = 1034,
  kIdTimeout = 1035,
  kIdFolder = 1036,
  kIdChangeFolder = 1037,
  kIdKeepAlive = 1038,
  kIdCaFile = 1039,
  kIdConnectionLabel = 1040,
  // Proxy page.
  kIdProxyServer = 1050,
  kIdProxyPort = 1051,
  kIdUseProxy = 1052,
  // Passwords page details.
  kIdDetailRealm = 1060,
  kIdDetailServer = 1061,
  kIdDetailUser = 1062,
  kIdDetailPassword = 1063,
  // Search Engines page details.
  kIdDetailTitle = 1070,
  kIdDetailLocation = 1071,
  kIdDetailQuery = 1072,
  // Search engine edit dialog.
  kIdEngineTitle = 1080,
  kIdEngineLocation = 1081,
  kIdEngineQuery = 1082,
  // Password edit dialog.
  kIdRealm = 1090,
  kIdServer = 1091,
  kIdUser = 1092,
  kIdPassword = 1093,
  // Schedules (dialog 137): the list editor over kIdEditorFrame, then these.
  kIdScheduleDetailName = 1100,
  kIdScheduleDetailText = 1101,
  kIdEnableSchedules = 1102,
  // Modify Schedule (138). The seven day boxes follow Sunday in order.
  kIdScheduleName = 1110,
  kIdHourly = 1111,
  kIdPeriodic = 1112,
  kIdDaily = 1113,
  kIdMonthly = 1114,
  kIdSunday = 1115,
  kIdMinute = 1122,
  kIdPeriod = 1123,
  kIdWindowStart = 1124,
  kIdWindowEnd = 1125,
  kIdStartAt = 1126,
  kIdDayOfMonth = 1127,
  kIdNextUpdate = 1128,
  // Dial dialog (115).
  kIdDialUpper = 1140,
  kIdDialLower = 1141,
  // "Authentication required" prompt.
  kIdPromptRealm = 1150,
  kIdPromptUrl = 1151,
  kIdPromptUser = 1152,
  kIdPromptPassword = 1153,
  kIdPromptRemember = 1154,
};

}  // namespace hvdlg
