// CZK_EL_EVT: the seven texts of one rendered event, copied in at
// construction and never changed; see event_record.h.
#include "query/event_record.h"

#include <utility>

namespace qrv {

CZK_EL_EVT::CZK_EL_EVT(std::string channel, std::string provider,
                       std::string computer, std::string time_created,
                       std::string event_id, std::string severity,
                       std::string message)
    : Channel(std::move(channel)),
      Provider(std::move(provider)),
      Computer(std::move(computer)),
      TimeCreated(std::move(time_created)),
      EventId(std::move(event_id)),
      Severity(std::move(severity)),
      Message(std::move(message)) {}

CZK_EL_EVT::~CZK_EL_EVT() = default;

const char* CZK_EL_EVT::GetRuntimeClass() const { return "CZK_EL_EVT"; }

}  // namespace qrv
