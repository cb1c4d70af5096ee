// Records of a shared file by their Channel; see channel_condition.h.
#include "platform/offline/service/channel_condition.h"

#include "formats/event_names.h"
#include "formats/utf16.h"

namespace qrv::offline {

ChannelCondition::ChannelCondition(std::string_view name,
                                   const SharedFile& file)
    : channel(text::Utf8ToUtf16(name)), takes_unnamed(file.takes_unnamed) {}

bool ChannelCondition::Admits(const evtx::SystemProperties& props) const {
  uint32_t units = 0;
  if (props.Has(evtx::SystemProperty::kChannel)) {
    // The text lies in the chunk, not necessarily 2-byte aligned.
    while (units < props.channel.units) {
      const char16_t unit = text::Utf16LeUnitAt(props.channel.data, units);
      if (unit == u'\0') break;
      if (units >= channel.size() ||
          event_names::FoldUnit(unit) != event_names::FoldUnit(channel[units]))
        return false;
      ++units;
    }
  }
  if (units == 0) return takes_unnamed;
  return units == channel.size();
}

}  // namespace qrv::offline
