// Message templates kept outside the image, for providers whose message
// files the image lacks: the interface the catalogue asks, implemented over
// message databases (platform/offline/message_db) where SQLite is available.
// Implementations are safe to call from several threads at once.
//
// Keys (messages.event_id): a manifest event is stored under its event id
// (0..65535), as in the databases published per Windows build. Two ranges
// above every event id hold what those databases lack, so that tools
// reading only event ids never meet them:
//   kClassicKeyBase + full message id: a classic source's message, the full
//     id being (Qualifiers << 16) | EventID as its message table numbers it;
//   kParameterKeyBase + n: the provider's parameter string %%n.
// An event with qualifiers is looked up by its classic key first, then by
// its event id; one without, the other way round.
//
// Entry points: MessageTemplate, TemplateEvent, ProviderTemplates,
// TemplateLibrary, ChooseTemplate.
#ifndef QRV_PLATFORM_OFFLINE_MESSAGES_TEMPLATE_LIBRARY_H_
#define QRV_PLATFORM_OFFLINE_MESSAGES_TEMPLATE_LIBRARY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv::offline {

inline constexpr uint64_t kClassicKeyBase = uint64_t{1} << 32;
inline constexpr uint64_t kParameterKeyBase = uint64_t{2} << 32;
// Keys at or past this are not read.
inline constexpr uint64_t kKeyLimit = uint64_t{3} << 32;

struct MessageTemplate {
  int64_t row_id = 0;
  std::string text;  // FormatMessage syntax, %1..%99 inserts
};

// One entry of a provider's event enumeration.
struct TemplateEvent {
  uint16_t event_id = 0;
  uint32_t message_id = 0;  // for ProviderTemplates::Text; never 0
};

// The templates of one provider across every database that holds it.
class ProviderTemplates {
 public:
  virtual ~ProviderTemplates() = default;
  // The templates stored under `key`, in row order, from the first database
  // with a non-empty one; empty when none has. The list stays valid and
  // unchanged as long as this object lives.
  virtual const std::vector<MessageTemplate>& Templates(
      uint64_t key) const = 0;
  // Every non-empty template with an event id (key 0..65535): ascending ids,
  // classic messages and parameter strings never listed (as Windows lists
  // no events for a classic source);
  // row order within an id; an id answered by an earlier database is not
  // taken from a later one.
  virtual std::vector<TemplateEvent> Events() const = 0;
  // The text behind a message id of Events(); nullopt for any other id.
  virtual std::optional<std::string> Text(uint32_t message_id) const = 0;
};

class TemplateLibrary {
 public:
  virtual ~TemplateLibrary() = default;
  // The provider of this name (any letter case), or null when no database
  // holds it.
  virtual std::shared_ptr<const ProviderTemplates> Find(
      std::string_view provider) const = 0;
};

// The highest insert number (%1..%99) `text` refers to; 0 for none. "%%"
// is an escape, so the digits after it are text.
int HighestInsert(std::string_view text);

// The row to format an event with `value_count` values from: the first
// non-empty template whose highest insert has a value, else the first
// non-empty one, else null (no rows, or only empty ones).
const MessageTemplate* ChooseTemplate(const std::vector<MessageTemplate>& rows,
                                      size_t value_count);

}  // namespace qrv::offline

#endif  // QRV_PLATFORM_OFFLINE_MESSAGES_TEMPLATE_LIBRARY_H_
