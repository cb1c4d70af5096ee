// Equality of channel and provider names, the one rule the tool uses
// wherever it compares them: ASCII letters without regard to case, every
// other byte (UTF-8 included) as is.
//
// Windows compares these names without regard to case. The registry folds a
// wider range (Latin-1, Greek, Cyrillic; see formats/regf/name_text.h), and
// that rule stays where the registry itself looks up key names. For names
// the tool compares the ASCII rule is used: the message databases store
// names folded this way and sort by them, and channel and provider names
// outside ASCII are rare enough that the two rules do not part in practice.
// So "Événements" and "événements" are two names here, although a hive
// lookup of either finds the same key.
//
// Entry points: event_names::Same, event_names::Key, event_names::FoldUnit.
#ifndef QRV_FORMATS_EVENT_NAMES_H_
#define QRV_FORMATS_EVENT_NAMES_H_

#include <string>
#include <string_view>

#include "formats/ascii.h"

namespace event_names {

// True when `a` and `b` name the same channel or provider.
inline bool Same(std::string_view a, std::string_view b) { return ascii::EqualsIgnoreCase(a, b); }

// The name folded: equal keys exactly for names Same() calls equal.
inline std::string Key(std::string_view name) { return ascii::Lower(name); }

// One UTF-16 unit of a name folded the same way, for names compared where
// they lie in a file.
inline char16_t FoldUnit(char16_t unit) {
  return unit < 0x80 ? static_cast<char16_t>(ascii::Fold(static_cast<char>(unit))) : unit;
}

}  // namespace event_names

#endif  // QRV_FORMATS_EVENT_NAMES_H_
