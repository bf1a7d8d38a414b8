// The desktop program's own texts, by the numbers they have always had. They
// read as they always have, slips included: people know them so.
#pragma once

namespace hvui::texts {

inline constexpr const char* kNewAgent = "New Agent";                         // 2
inline constexpr const char* kNewFolder = "New Folder";                        // 10
inline constexpr const char* kSearchPrompt = "< type search terms here >";     // 11
inline constexpr const char* kDeleteAgent =
    "This will delete your agent and all of its results from the disk.\r\nDo you want to continue?";  // 102
inline constexpr const char* kClearCache =
    "This operation will delete all files from your agent's local cache.\r\nDo you want to continue?";  // 103
inline constexpr const char* kPluginModeAdd =
    "In plugin mode use drag and drop or the clipboard to paste a page into your agent.";  // 200
inline constexpr const char* kNoPageData = "The current page contains no data";            // 201
inline constexpr const char* kLocalFiles = "For viewing local files you can use your browser.";  // 202
inline constexpr const char* kPageAdded = "The page: %s\r\nfrom %s\r\nhas been added to your %s agent";  // 203
inline constexpr const char* kCaption = "Harvion/3.01 Plugin";                                           // 204
inline constexpr const char* kDiskFull = "Could  not create temporary file. Disk full?";                // 208
inline constexpr const char* kCannotLoadWhileRunning =
    "Harvion can not load an agent, while another agent is running. Please wait till this agent completes its "
    "jiob.";  // 209
inline constexpr const char* kCannotModifyWhileRunning =
    "Harvion can not modify an agent while it is running. Please wait till the agent completes its jiob.";  // 210
inline constexpr const char* kStillRunning =
    "Your agent is running. Please wait till the agent completes its jiob.";  // 215
inline constexpr const char* kInvalidName = "This is not a valid name.";   // 500
inline constexpr const char* kLocationPrompt = "Please specify an internet location";  // 501
inline constexpr const char* kShortcutTo = "Shortcut to ";                  // 600
inline constexpr const char* kManually = "Manually (not scheduled)";        // 654

}  // namespace hvui::texts
