// CZK_EL_PUB; see publisher_record.h.
#include "catalogue/publisher_record.h"

#include <utility>

namespace qrv {

CZK_EL_PUB::CZK_EL_PUB(std::string channel, std::string publisher,
                       std::string event_id, std::string message)
    : Channel(std::move(channel)),
      Publisher(std::move(publisher)),
      EventId(std::move(event_id)),
      Message(std::move(message)) {}

CZK_EL_PUB::~CZK_EL_PUB() = default;

}  // namespace qrv
