// The sweep behind GETEVENTS: every event of every service log, then of every
// registered channel, gathered into one event list. Entry points:
// GetAllEvents, QueryWholeChannel.
#ifndef QRV_CATALOGUE_ALL_EVENTS_H_
#define QRV_CATALOGUE_ALL_EVENTS_H_

#include <cstdint>
#include <string>

#include "query/event_record.h"

namespace qrv {

// Appends every event of every log and channel, uncapped: service logs in
// enumeration order ("Parameters" and "State" left out), then registered
// channels, each oldest event first. A log registered in both places is
// swept twice. A channel the service refuses to query because it is an
// enabled Analytic or Debug channel (15022) is passed over. False as soon as
// any other query fails (the events gathered so far stay in the list), and
// false when the whole sweep found no event at all.
bool GetAllEvents(EventList& events);

// Runs "<QueryList><Query Path='CHANNEL'><Select>*</Select></Query>
// </QueryList>" (on one line) through QueryEvents. The channel name is put in
// untrimmed, written as XML attribute text: a quote, '<', '>', '&', tab, CR
// and LF become entities or character references, so a name holding one
// can neither break the query nor add one; other names go in unchanged.
bool QueryWholeChannel(const std::string& channel, EventList& events,
                       uint32_t& error_code, bool capped);

}  // namespace qrv

#endif  // QRV_CATALOGUE_ALL_EVENTS_H_
