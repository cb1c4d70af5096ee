// The event records of the sample image: for each channel a repeating
// pattern of its providers' events, spread evenly over four days from
// 2024-03-04T00:00Z with fixed offsets, so every build writes the same logs.
// Entry points: MakeSampleEvents, kEventsBegin, kEventsEnd.
#ifndef QRV_TOOLS_SAMPLE_IMAGE_EVENTS_H_
#define QRV_TOOLS_SAMPLE_IMAGE_EVENTS_H_

#include <vector>

#include "tools/sample_image_content.h"

namespace qrv::sample {

// Every record's TimeCreated lies in [kEventsBegin, kEventsEnd): from
// 2024-03-04T00:00:00Z up to, not including, 2024-03-08T00:00:00Z.
inline const uint64_t kEventsBegin = SampleTime(2024, 3, 4, 0, 0, 0);
inline const uint64_t kEventsEnd = SampleTime(2024, 3, 8, 0, 0, 0);

// Records of `image`'s providers (which must be filled in), channel after
// channel, each channel's in time order with record ids from 1.
std::vector<SampleEvent> MakeSampleEvents(const SampleImage& image);

}  // namespace qrv::sample

#endif  // QRV_TOOLS_SAMPLE_IMAGE_EVENTS_H_
