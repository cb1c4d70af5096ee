// The usage text as a user sees it, written out in full, to compare the
// program's bytes against.
#ifndef QRV_TESTS_APP_EXPECTED_USAGE_H_
#define QRV_TESTS_APP_EXPECTED_USAGE_H_

#include <string>

namespace qrv {

inline std::string ExpectedUsage() {
  return std::string(
             "\n"
             "QRV Event Log Tools 2021\n") +
         QRV_SUPPORT_EMAIL +
         "\n"
         "\n"
         "Syntax: QRV_EventLog_Tools <cmd> <options> \n"
         "\n"
         "\n"
         "Commands:\n"
         "-----------------------------\n"
         "GETLIST  **Gets Channel/Provider/Event IDs List\n"
         "GETLISTCHANNELS  **Gets Channels List\n"
         "\n"
         "GETEVENTS **Gets All Exisitng Events - Takes a long time\n"
         "\n"
         "GETEVENTSCHANNEL <channel> **Last 24-hours\n"
         "GETEVENTSID <channel> <event_id> **Last 24-hours\n"
         "GETEVENTSSEVERITY <channel> <event_sev> **Last 24-hours\n"
         "GETEVENTSSEVERITYDAYS <channel> <event_sev> <days>\n"
         "\n"
         "GETEVENTSQUERY <query> \n"
         "POLLEVENTSQUERY <query> \n"
         "\n"
         "Notes: Max 1000 events\n"
         "<event_sev>: Audit Success|Audit Failure|Information|Warning|Error|Critical\n"
         "             One or more severities OR'd together with '|'\n"
         "<query>:     Event log structured XML query\n"
         "<days>:      1 - 30 days\n"
         "\n"
         "Examples:\n"
         "QRV_EventLog_Tools GETEVENTSSEVERITY \"Application\" \"Warning|Error|Critical\"\n"
         "QRV_EventLog_Tools GETEVENTSSEVERITY \"System\" \"Audit Success|Audit Failure\"\n"
         "QRV_EventLog_Tools GETEVENTSSEVERITY \"Microsoft-Windows-Hyper-V-Guest-Drivers-Dynamic-Memory\" \"Information\"\n"
         "\n"
         "QRV_EventLog_Tools GETEVENTSQUERY \"<QueryList><Query Path='Application'><Select>*</Select></Query></QueryList>\"\n"
         "QRV_EventLog_Tools GETEVENTSQUERY \"<QueryList><Query Path='Microsoft-Windows-PowerShell'><Select>Event/System[TimeCreated[@SystemTime >= '2022-08-09T17:28:57.133304400Z']]</Select></Query></QueryList>\"\n"
         "\n";
}

}  // namespace qrv

#endif  // QRV_TESTS_APP_EXPECTED_USAGE_H_
