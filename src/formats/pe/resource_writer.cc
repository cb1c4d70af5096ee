// MESSAGETABLE, CRIM and MUI resource writers (tests and sample image only).
#include "formats/pe/resource_writer.h"

#include <algorithm>
#include <functional>

#include "formats/pe/byte_writer.h"
#include "formats/pe/text_encoding.h"

namespace pe {
namespace {

void PutSig(ByteWriter* w, const char (&sig)[5]) {
  for (int i = 0; i < 4; ++i) w->U8(static_cast<uint8_t>(sig[i]));
}

void PutGuid(ByteWriter* w, const Guid& g) { w->Append(g.bytes); }

// Manifest name record {u32 size including itself, UTF-16, NUL}, padded to 8.
void PutName(ByteWriter* w, size_t patch_at, const std::string& name) {
  if (name.empty()) return;  // offset stays 0: no name
  w->PatchU32(patch_at, static_cast<uint32_t>(w->size()));
  const std::vector<uint8_t> utf16 = Utf8ToUtf16Le(name);
  w->U32(static_cast<uint32_t>(4 + utf16.size() + 2));
  w->Append(utf16);
  w->U16(0);
  w->Align(8);
}

// Writes one table element: signature, size, count, entries from `entry`
// (which returns the offset of the name offset field it left as 0, or
// SIZE_MAX for none), then the names.
template <typename T>
void PutTable(ByteWriter* w, size_t descriptor_at, const char (&sig)[5],
              const std::vector<T>& items,
              const std::function<size_t(ByteWriter*, const T&)>& entry,
              const std::function<std::string(const T&)>& name_of) {
  const size_t at = w->size();
  w->PatchU32(descriptor_at, static_cast<uint32_t>(at));
  PutSig(w, sig);
  w->U32(0);
  w->U32(static_cast<uint32_t>(items.size()));
  std::vector<size_t> name_fields;
  for (const T& item : items) name_fields.push_back(entry(w, item));
  for (size_t i = 0; i < items.size(); ++i) {
    PutName(w, name_fields[i], name_of(items[i]));
  }
  w->PatchU32(at + 4, static_cast<uint32_t>(w->size() - at));
}

void PutProvider(ByteWriter* w, const WevtProvider& p) {
  constexpr uint32_t kElements = 7;
  const size_t at = w->size();
  PutSig(w, "WEVT");
  w->U32(0);
  w->U32(p.message_id);
  w->U32(kElements);
  w->U32(0);
  const size_t descriptors = w->size();
  w->Zeros(8 * kElements);
  auto slot = [descriptors](size_t i) { return descriptors + 8 * i; };

  PutTable<WevtChannel>(
      w, slot(0), "CHAN", p.channels,
      [](ByteWriter* b, const WevtChannel& c) {
        b->U32(c.value);
        const size_t name = b->size();
        b->U32(0);
        b->U32(0);
        b->U32(c.message_id);
        return name;
      },
      [](const WevtChannel& c) { return c.name; });
  const auto value_entry = [](ByteWriter* b, const WevtValue& v) {
    b->U32(v.value);
    b->U32(v.message_id);
    const size_t name = b->size();
    b->U32(0);
    return name;
  };
  const auto value_name = [](const WevtValue& v) { return v.name; };
  PutTable<WevtValue>(w, slot(1), "LEVL", p.levels, value_entry, value_name);
  PutTable<WevtValue>(w, slot(2), "OPCO", p.opcodes, value_entry, value_name);
  PutTable<WevtTask>(
      w, slot(3), "TASK", p.tasks,
      [](ByteWriter* b, const WevtTask& t) {
        b->U32(t.value);
        b->U32(t.message_id);
        PutGuid(b, t.guid);
        const size_t name = b->size();
        b->U32(0);
        return name;
      },
      [](const WevtTask& t) { return t.name; });
  PutTable<WevtKeyword>(
      w, slot(4), "KEYW", p.keywords,
      [](ByteWriter* b, const WevtKeyword& k) {
        b->U64(k.mask);
        b->U32(k.message_id);
        const size_t name = b->size();
        b->U32(0);
        return name;
      },
      [](const WevtKeyword& k) { return k.name; });

  const size_t events = w->size();
  w->PatchU32(slot(5), static_cast<uint32_t>(events));
  PutSig(w, "EVNT");
  w->U32(static_cast<uint32_t>(16 + 48 * p.events.size()));
  w->U32(static_cast<uint32_t>(p.events.size()));
  w->U32(0);
  for (const WevtEvent& e : p.events) {
    w->U16(e.id);
    w->U8(e.version);
    w->U8(e.channel);
    w->U8(e.level);
    w->U8(e.opcode);
    w->U16(e.task);
    w->U64(e.keywords);
    w->U32(e.message_id);
    w->Zeros(24);  // template, opcode, level, task offsets; unknown pair
    w->U32(e.flags);
  }
  // An empty template table keeps the element list the compiler emits.
  w->PatchU32(slot(6), static_cast<uint32_t>(w->size()));
  PutSig(w, "TTBL");
  w->U32(12);
  w->U32(0);
  w->PatchU32(at + 4, static_cast<uint32_t>(w->size() - at));
}

}  // namespace

std::vector<uint8_t> BuildMessageTable(std::vector<WrittenMessage> messages) {
  std::sort(messages.begin(), messages.end(),
            [](const WrittenMessage& a, const WrittenMessage& b) {
              return a.id < b.id;
            });
  // Blocks: runs of consecutive ids, as [first, last) index ranges.
  std::vector<std::pair<size_t, size_t>> runs;
  for (size_t i = 0; i < messages.size(); ++i) {
    if (runs.empty() || messages[i].id != messages[i - 1].id + 1) {
      runs.push_back({i, i});
    }
    runs.back().second = i + 1;
  }
  ByteWriter w;
  w.U32(static_cast<uint32_t>(runs.size()));
  const size_t blocks = w.size();
  w.Zeros(12 * runs.size());
  for (size_t b = 0; b < runs.size(); ++b) {
    const size_t block = blocks + 12 * b;
    w.PatchU32(block, messages[runs[b].first].id);
    w.PatchU32(block + 4, messages[runs[b].second - 1].id);
    w.PatchU32(block + 8, static_cast<uint32_t>(w.size()));
    for (size_t i = runs[b].first; i < runs[b].second; ++i) {
      const WrittenMessage& m = messages[i];
      std::vector<uint8_t> text;
      switch (m.encoding) {
        case MessageEncoding::kUtf16:
          text = Utf8ToUtf16Le(m.text);
          text.insert(text.end(), {0, 0});
          break;
        case MessageEncoding::kAnsi:
          text = Utf8ToWindows1252(m.text);
          text.push_back(0);
          break;
        case MessageEncoding::kUtf8:
          text.assign(m.text.begin(), m.text.end());
          text.push_back(0);
          break;
      }
      while (text.size() % 4 != 0) text.push_back(0);
      w.U16(static_cast<uint16_t>(4 + text.size()));
      w.U16(static_cast<uint16_t>(m.encoding));
      w.Append(text);
    }
  }
  return std::move(w.bytes());
}

std::vector<uint8_t> BuildWevtManifest(const WevtManifest& manifest) {
  ByteWriter w;
  PutSig(&w, "CRIM");
  w.U32(0);
  w.U16(manifest.major_version);
  w.U16(manifest.minor_version);
  w.U32(static_cast<uint32_t>(manifest.providers.size()));
  const size_t descriptors = w.size();
  for (const WevtProvider& p : manifest.providers) {
    PutGuid(&w, p.guid);
    w.U32(0);
  }
  for (size_t i = 0; i < manifest.providers.size(); ++i) {
    w.PatchU32(descriptors + 20 * i + 16, static_cast<uint32_t>(w.size()));
    PutProvider(&w, manifest.providers[i]);
  }
  w.PatchU32(4, static_cast<uint32_t>(w.size()));
  return std::move(w.bytes());
}

std::vector<uint8_t> BuildMuiResource(const MuiResource& mui) {
  constexpr size_t kHeaderSize = 132;
  ByteWriter w;
  w.U32(0xFECDFECD);
  w.U32(0);
  w.U32(mui.version);
  w.U32(0);
  w.U32(mui.file_type);
  w.Zeros(kHeaderSize - w.size());
  // Each item goes after the header, 8-byte aligned, its {offset, size}
  // pair at 84 + 8 * index; empty items keep {0, 0}.
  auto item = [&w](size_t index, const std::vector<uint8_t>& data) {
    if (data.empty()) return;
    w.Align(8);
    w.PatchU32(84 + 8 * index, static_cast<uint32_t>(w.size()));
    w.PatchU32(88 + 8 * index, static_cast<uint32_t>(data.size()));
    w.Append(data);
  };
  auto strings = [](const std::vector<std::string>& list) {
    std::vector<uint8_t> out;
    for (const std::string& s : list) {
      const std::vector<uint8_t> utf16 = Utf8ToUtf16Le(s);
      out.insert(out.end(), utf16.begin(), utf16.end());
      out.insert(out.end(), {0, 0});
    }
    if (!out.empty()) out.insert(out.end(), {0, 0});
    return out;
  };
  auto ids = [](const std::vector<uint32_t>& list) {
    ByteWriter b;
    for (const uint32_t id : list) b.U32(id);
    return std::move(b.bytes());
  };
  item(0, strings(mui.main_name_types));
  item(1, ids(mui.main_id_types));
  item(2, strings(mui.mui_name_types));
  item(3, ids(mui.mui_id_types));
  item(4,
       strings(mui.language.empty() ? std::vector<std::string>{}
                                    : std::vector<std::string>{mui.language}));
  item(5, strings(mui.fallback_language.empty()
                      ? std::vector<std::string>{}
                      : std::vector<std::string>{mui.fallback_language}));
  w.Align(8);
  w.PatchU32(4, static_cast<uint32_t>(w.size()));
  return std::move(w.bytes());
}

}  // namespace pe
