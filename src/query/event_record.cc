// CZK_EL_EVT: the seven texts of one rendered event, set at construction
// and never changed; see event_record.h.
#include "query/event_record.h"


namespace qrv {

CZK_EL_EVT::CZK_EL_EVT(std::string_view channel, std::string_view provider,
                       std::string_view computer, std::string_view time_created,
                       std::string_view event_id, std::string_view severity,
                       std::string_view message)
    : Channel(channel),
      Provider(provider),
      Computer(computer),
      TimeCreated(time_created),
      EventId(event_id),
      Severity(severity),
      Message(message) {}

CZK_EL_EVT::~CZK_EL_EVT() = default;

const char* CZK_EL_EVT::GetRuntimeClass() const { return "CZK_EL_EVT"; }

}  // namespace qrv
