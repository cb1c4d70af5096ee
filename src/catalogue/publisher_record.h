// CZK_EL_PUB, one line of the publisher catalogue (an event a publisher
// declares, with the channel it was found through), and the publisher list
// that holds them.
#ifndef QRV_CATALOGUE_PUBLISHER_RECORD_H_
#define QRV_CATALOGUE_PUBLISHER_RECORD_H_

#include <string>

#include "query/record_list.h"

namespace qrv {

class CZK_EL_PUB : public CZK_OBJECT {
 public:
  CZK_EL_PUB(std::string channel, std::string publisher, std::string event_id,
             std::string message);
  ~CZK_EL_PUB() override;

  // Service log or registered channel the publisher was found through.
  const std::string Channel;
  // Event source or owning publisher: the name given to the event-log service.
  const std::string Publisher;
  // Unsigned decimal, no sign, no leading zeros.
  const std::string EventId;
  // Cleaned message text; never empty.
  const std::string Message;
};

using PublisherList = CZK_TYPED_LIST<CZK_EL_PUB>;

}  // namespace qrv

#endif  // QRV_CATALOGUE_PUBLISHER_RECORD_H_
