// The publisher catalogue behind GETLIST: for every event source of every
// service log, then for the owning publisher of every registered channel,
// each event the publisher declares with its message. Entry points:
// GetPublisherList, PrintPublisherList.
#ifndef QRV_CATALOGUE_PUBLISHER_LIST_H_
#define QRV_CATALOGUE_PUBLISHER_LIST_H_

#include "catalogue/publisher_record.h"

namespace qrv {

// Appends the catalogue to `list`. True when at least one service log was
// walked and at least one registered channel resolved to a publisher, or on a
// machine from before Vista (HasNoChannelRegistry) when a service log was
// walked; the list may still be empty (no publisher could be opened). When no
// service log is found the registered channels are not visited.
bool GetPublisherList(PublisherList& list);

// One line per record: Channel, Publisher, EventId, Message, tab-separated.
void PrintPublisherList(const PublisherList& list);

}  // namespace qrv

#endif  // QRV_CATALOGUE_PUBLISHER_LIST_H_
