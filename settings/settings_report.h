// Problems with the settings file, for the StatusLog (TARVOS.txt) as well
// as the standard error stream.
//
// The settings are read at Enable before the StatusLog is open. Enable
// therefore holds the lines (HoldSettingsReports) while it reads the settings
// and writes them, in the order they came, once the StatusLog is open and the
// Enable lines have been written (ReleaseSettingsReports). Outside that stretch
// a line goes to the StatusLog at once. Each distinct line is written once per
// enable period, so a problem met by every key of the file, or by every client
// write of an ATC text, is reported once.
//
// Threads: any thread; an internal mutex guards the held lines.
#ifndef TARVOS_SETTINGS_SETTINGS_REPORT_H_
#define TARVOS_SETTINGS_SETTINGS_REPORT_H_

#include <string>

#include "base/file_access.h"

namespace tarvos {

// Starts an enable period: forgets the lines reported so far and holds new
// ones until ReleaseSettingsReports.
void HoldSettingsReports();
// Writes the held lines to the StatusLog and stops holding.
void ReleaseSettingsReports();

// One line (with its "\n") for the StatusLog, held or written at once.
void ReportSettingsProblem(const std::string& line);

// "Can't open <path>: <reason>\n" to the standard error stream (every time) and
// to the StatusLog (once per enable period).
void ReportSettingsFileFailure(const std::string& path,
                               const FileResult& result);

}  // namespace tarvos

#endif  // TARVOS_SETTINGS_SETTINGS_REPORT_H_
