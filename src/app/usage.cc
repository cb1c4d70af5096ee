// PrintUsage: the usage text, line for line; see usage.h.
#include "app/usage.h"

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qrv {

namespace {
constexpr char kBannerTitle[] = "QRV Event Log Tools";
constexpr char kBannerYear[] = "2021";
// Set by the build (QRV_SUPPORT_EMAIL cache variable).
constexpr char kSupportEmail[] = QRV_SUPPORT_EMAIL;

// Lines 8 to 29, printed as they stand. The typo "Exisitng" and the trailing
// blanks after "<query>" are part of the tool's published text.
constexpr std::string_view kCommandLines[] = {
    "Commands:",
    "-----------------------------",
    "GETLIST  **Gets Channel/Provider/Event IDs List",
    "GETLISTCHANNELS  **Gets Channels List",
    "",
    "GETEVENTS **Gets All Exisitng Events - Takes a long time",
    "",
    "GETEVENTSCHANNEL <channel> **Last 24-hours",
    "GETEVENTSID <channel> <event_id> **Last 24-hours",
    "GETEVENTSSEVERITY <channel> <event_sev> **Last 24-hours",
    "GETEVENTSSEVERITYDAYS <channel> <event_sev> <days>",
    "",
    "GETEVENTSQUERY <query> ",
    "POLLEVENTSQUERY <query> ",
    "",
    "Notes: Max 1000 events",
    "<event_sev>: Audit Success|Audit Failure|Information|Warning|Error|Critical",
    "             One or more severities OR'd together with '|'",
    "<query>:     Event log structured XML query",
    "<days>:      1 - 30 days",
    "",
    "Examples:",
};

void WriteExample(std::string_view quoted_arguments) {
  std::string line = kProgramName;
  line += quoted_arguments;
  WriteLine(line);
}
}  // namespace

void PrintUsage() {
  WriteLine("");
  WriteLine(std::string(kBannerTitle) + " " + kBannerYear);
  WriteLine(kSupportEmail);
  WriteLine("");
  // The syntax line carries a line break of its own before the usual one,
  // which leaves an empty line after it.
  WriteLine(std::string("Syntax: ") + kProgramName + " <cmd> <options> \n");
  WriteLine("");
  for (std::string_view line : kCommandLines) WriteLine(line);
  WriteExample(R"( GETEVENTSSEVERITY "Application" "Warning|Error|Critical")");
  WriteExample(R"( GETEVENTSSEVERITY "System" "Audit Success|Audit Failure")");
  WriteExample(
      R"( GETEVENTSSEVERITY "Microsoft-Windows-Hyper-V-Guest-Drivers-Dynamic-Memory" "Information")");
  WriteLine("");
  WriteExample(
      R"( GETEVENTSQUERY "<QueryList><Query Path='Application'><Select>*</Select></Query></QueryList>")");
  WriteExample(
      R"( GETEVENTSQUERY "<QueryList><Query Path='Microsoft-Windows-PowerShell'><Select>Event/System[TimeCreated[@SystemTime >= '2022-08-09T17:28:57.133304400Z']]</Select></Query></QueryList>")");
  WriteLine("");
}

}  // namespace qrv
