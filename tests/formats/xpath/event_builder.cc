// Test helper: hand-built event trees (see event_builder.h).
#include "event_builder.h"

#include <cstdio>

namespace xpath_test {

evtx::Value Str(std::string text) {
  evtx::Value v;
  v.type = evtx::ValueType::kString;
  v.text = std::move(text);
  return v;
}

evtx::Value UInt(evtx::ValueType type, uint64_t u) {
  evtx::Value v;
  v.type = type;
  v.u = u;
  v.text = std::to_string(u);
  return v;
}

evtx::Value Hex64(uint64_t u) {
  evtx::Value v;
  v.type = evtx::ValueType::kHexInt64;
  v.u = u;
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(u));
  v.text = buf;
  return v;
}

// Days from 1601-01-01 by walking years and months: slow and obvious, so it
// can check the library's arithmetic.
uint64_t Ticks(int year, int month, int day, int hour, int minute, int second) {
  auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  const int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  uint64_t days = 0;
  for (int y = 1601; y < year; ++y) days += leap(y) ? 366 : 365;
  for (int m = 1; m < month; ++m) days += month_days[m - 1] + ((m == 2 && leap(year)) ? 1 : 0);
  days += static_cast<uint64_t>(day - 1);
  const uint64_t seconds = days * 86400 + static_cast<uint64_t>(hour) * 3600 +
                           static_cast<uint64_t>(minute) * 60 + static_cast<uint64_t>(second);
  return seconds * 10'000'000;
}

evtx::Value FileTime(uint64_t ticks) {
  evtx::Value v;
  v.type = evtx::ValueType::kFileTime;
  v.u = ticks;
  // Find the date by counting days forward: fine for test sizes.
  uint64_t seconds = ticks / 10'000'000;
  const uint64_t fraction = ticks % 10'000'000;
  uint64_t days = seconds / 86400;
  seconds %= 86400;
  auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  const int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int year = 1601;
  while (days >= static_cast<uint64_t>(leap(year) ? 366 : 365)) {
    days -= leap(year) ? 366 : 365;
    ++year;
  }
  int month = 1;
  while (true) {
    const uint64_t md = month_days[month - 1] + ((month == 2 && leap(year)) ? 1 : 0);
    if (days < md) break;
    days -= md;
    ++month;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%07lluZ", year,
                month, static_cast<int>(days + 1), static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                static_cast<unsigned long long>(fraction));
  v.text = buf;
  return v;
}

evtx::Value Typed(evtx::ValueType type, std::string text) {
  evtx::Value v;
  v.type = type;
  v.text = std::move(text);
  return v;
}

EventBuilder::EventBuilder() {
  tree_.elements.emplace_back();
  tree_.elements[0].name = "Event";
}

uint32_t EventBuilder::Add(uint32_t parent, std::string name, evtx::Value text) {
  const auto index = static_cast<uint32_t>(tree_.elements.size());
  evtx::Element e;
  e.name = std::move(name);
  e.text = std::move(text);
  tree_.elements.push_back(std::move(e));
  tree_.elements[parent].children.push_back(index);
  return index;
}

void EventBuilder::Attr(uint32_t element, std::string name, evtx::Value value) {
  tree_.elements[element].attributes.push_back({std::move(name), std::move(value)});
}

uint32_t EventBuilder::System(uint16_t event_id, uint8_t level, uint64_t keywords,
                              uint64_t time_ticks, const std::string& provider) {
  const uint32_t system = Add(0, "System");
  const uint32_t p = Add(system, "Provider");
  Attr(p, "Name", Str(provider));
  Add(system, "EventID", UInt(evtx::ValueType::kUInt16, event_id));
  Add(system, "Level", UInt(evtx::ValueType::kUInt8, level));
  Add(system, "Keywords", Hex64(keywords));
  const uint32_t t = Add(system, "TimeCreated");
  Attr(t, "SystemTime", FileTime(time_ticks));
  Add(system, "Channel", Str("Security"));
  return system;
}

}  // namespace xpath_test
