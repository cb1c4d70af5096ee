// CZK_EL_EVT, one rendered event, and the event list that holds them. The
// list owns the texts of the events made for it (EventList::Keep, Share):
// a record's fields view them, so a held event costs its record and its
// own texts, with the names it shares with other events kept once.
#ifndef QRV_QUERY_EVENT_RECORD_H_
#define QRV_QUERY_EVENT_RECORD_H_

#include <string_view>

#include "query/record_list.h"
#include "query/text_arena.h"

namespace qrv {

class CZK_EL_EVT : public CZK_OBJECT {
 public:
  // The texts must outlive the record: texts kept by the list that will
  // hold it, or literals.
  CZK_EL_EVT(std::string_view channel, std::string_view provider,
             std::string_view computer, std::string_view time_created,
             std::string_view event_id, std::string_view severity,
             std::string_view message);
  ~CZK_EL_EVT() override;

  const char* GetRuntimeClass() const override;

  const std::string_view Channel;
  const std::string_view Provider;
  const std::string_view Computer;
  const std::string_view TimeCreated;
  const std::string_view EventId;
  const std::string_view Severity;
  const std::string_view Message;
};

class EventList : public CZK_TYPED_LIST<CZK_EL_EVT> {
 public:
  // Texts for the records of this list, alive as long as the list: Share
  // for texts many events repeat, Keep for the others.
  std::string_view Keep(std::string_view text) { return texts_.Keep(text); }
  std::string_view Share(std::string_view text) { return texts_.Share(text); }

 private:
  TextArena texts_;
};

}  // namespace qrv

#endif  // QRV_QUERY_EVENT_RECORD_H_
