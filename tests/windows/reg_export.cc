// ExportRegFile: a depth-first walk of the tree, each key a [section] with
// its values below it, as regedit writes an export.
#include "tests/windows/reg_export.h"

#include <cstdint>
#include <cstdio>

#include "formats/regf/name_text.h"

namespace qrv::offline {
namespace {

// Deeper keys than this are not written; hives refuse deeper trees anyway.
constexpr int kMaxDepth = 512;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

void AppendAscii(std::u16string& out, std::string_view text) {
  for (char c : text) out.push_back(static_cast<unsigned char>(c));
}

// A quoted .reg string: backslash and quote escaped.
void AppendQuoted(std::u16string& out, std::u16string_view text) {
  out.push_back(u'"');
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  out.push_back(u'"');
}

// Reads a REG_SZ stored as UTF-16LE with one terminating NUL (or none) into
// `text`; false when it holds another NUL or a line break, which a quoted
// .reg string cannot carry.
bool StringData(const std::vector<uint8_t>& data, std::u16string* text) {
  if (data.size() % 2 != 0) return false;
  text->clear();
  for (size_t i = 0; i < data.size(); i += 2) {
    text->push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  if (!text->empty() && text->back() == u'\0') text->pop_back();
  return text->find_first_of(u"\0\r\n", 0, 3) == std::u16string::npos;
}

void AppendValue(std::u16string& out, std::string_view name, const StoredValue& value) {
  if (name.empty()) {
    out.push_back(u'@');
  } else {
    AppendQuoted(out, regf::Utf8ToUtf16(name));
  }
  out.push_back(u'=');
  std::u16string text;
  char number[16];
  if (value.type == kRegSz && StringData(value.data, &text)) {
    AppendQuoted(out, text);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    const uint32_t dword = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                           (static_cast<uint32_t>(value.data[3]) << 24);
    std::snprintf(number, sizeof number, "dword:%08x", static_cast<unsigned>(dword));
    AppendAscii(out, number);
  } else {
    if (value.type == kRegBinary) {
      AppendAscii(out, "hex:");
    } else {
      std::snprintf(number, sizeof number, "hex(%x):", static_cast<unsigned>(value.type));
      AppendAscii(out, number);
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
      std::snprintf(number, sizeof number, i == 0 ? "%02x" : ",%02x", value.data[i]);
      AppendAscii(out, number);
    }
  }
  AppendAscii(out, "\r\n");
}

void AppendKey(std::u16string& out, const RegistryTree& tree, const KeyRef& key,
               const std::string& path, int depth) {
  AppendAscii(out, "\r\n[HKEY_LOCAL_MACHINE\\");
  out += regf::Utf8ToUtf16(path);
  AppendAscii(out, "]\r\n");
  for (const std::string& name : tree.ValueNames(key)) {
    StoredValue value;
    if (tree.QueryValue(key, name, &value) == ValueStatus::kFound) AppendValue(out, name, value);
  }
  if (depth >= kMaxDepth) return;
  for (const std::string& name : tree.SubkeyNames(key)) {
    std::optional<KeyRef> child = tree.Open(key, name);
    if (child) AppendKey(out, tree, *child, path + "\\" + name, depth + 1);
  }
}

}  // namespace

std::u16string ExportRegFile(const RegistryTree& tree, const std::vector<std::string>& paths) {
  std::u16string out = u"Windows Registry Editor Version 5.00\r\n";
  for (const std::string& path : paths) {
    std::optional<KeyRef> key = tree.Open(tree.Machine(), path);
    if (key) AppendKey(out, tree, *key, path, 0);
  }
  return out;
}

}  // namespace qrv::offline
