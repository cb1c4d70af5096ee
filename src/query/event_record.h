// CZK_EL_EVT, one rendered event, and the event list that holds them.
#ifndef QRV_QUERY_EVENT_RECORD_H_
#define QRV_QUERY_EVENT_RECORD_H_

#include <string>

#include "query/record_list.h"

namespace qrv {

class CZK_EL_EVT : public CZK_OBJECT {
 public:
  CZK_EL_EVT(std::string channel, std::string provider, std::string computer,
             std::string time_created, std::string event_id,
             std::string severity, std::string message);
  ~CZK_EL_EVT() override;

  const char* GetRuntimeClass() const override;

  const std::string Channel;
  const std::string Provider;
  const std::string Computer;
  const std::string TimeCreated;
  const std::string EventId;
  const std::string Severity;
  const std::string Message;
};

using EventList = CZK_TYPED_LIST<CZK_EL_EVT>;

}  // namespace qrv

#endif  // QRV_QUERY_EVENT_RECORD_H_
