// Variable expansion and drive mapping of image paths; see windows_path.h.
#include "platform/offline/image/windows_path.h"

#include <array>

#include "formats/ascii.h"

namespace qrv::offline {

namespace {

struct Variable {
  std::string_view name;
  std::string_view value;
};

// The values a default installation on C: gives these variables; the image
// is one volume, mounted at its root folder, so C: is the root.
constexpr std::array<Variable, 12> kVariables = {{
    {"SystemRoot", "C:\\Windows"},
    {"windir", "C:\\Windows"},
    {"SystemDrive", "C:"},
    {"ProgramFiles", "C:\\Program Files"},
    {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
    {"ProgramW6432", "C:\\Program Files"},
    {"CommonProgramFiles", "C:\\Program Files\\Common Files"},
    {"CommonProgramFiles(x86)", "C:\\Program Files (x86)\\Common Files"},
    {"CommonProgramW6432", "C:\\Program Files\\Common Files"},
    {"ProgramData", "C:\\ProgramData"},
    {"ALLUSERSPROFILE", "C:\\ProgramData"},
    {"PUBLIC", "C:\\Users\\Public"},
}};

const Variable* FindVariable(std::string_view name) {
  for (const Variable& v : kVariables) {
    if (ascii::EqualsIgnoreCase(v.name, name)) return &v;
  }
  return nullptr;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string ExpandImageVariables(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find('%', i);
    if (open == std::string_view::npos) break;
    const size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(i, open - i));
    const Variable* v = FindVariable(text.substr(open + 1, close - open - 1));
    if (v != nullptr) {
      out.append(v->value);
      i = close + 1;
    } else {
      // Unknown: keep the first '%' and go on from the second, which may
      // open a known variable ("100%%windir%" keeps "100%").
      out.append(text.substr(open, close - open));
      i = close;
    }
  }
  out.append(text.substr(i));
  return out;
}

std::optional<std::vector<std::string>> ImagePathComponents(std::string_view windows_path) {
  std::string expanded = ExpandImageVariables(windows_path);
  std::string_view rest = expanded;
  // Win32 and NT namespace prefixes in front of a drive path.
  for (std::string_view prefix : {std::string_view("\\\\?\\"), std::string_view("\\??\\")}) {
    if (rest.substr(0, prefix.size()) == prefix) {
      rest.remove_prefix(prefix.size());
      break;
    }
  }
  if (rest.size() >= 2 && rest[1] == ':') {
    if (ascii::Fold(rest[0]) != 'c') return std::nullopt;
    rest.remove_prefix(2);
    // "C:file" is relative to the current folder of C:, which an image has not.
    if (rest.empty() || !IsSeparator(rest[0])) return std::nullopt;
  } else if (rest.empty() || !IsSeparator(rest[0]) ||
             (rest.size() >= 2 && IsSeparator(rest[1]))) {
    return std::nullopt;  // relative, or a UNC "\\server\share"
  }
  std::vector<std::string> components;
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsSeparator(rest[i])) ++i;
    size_t end = i;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string_view part = rest.substr(i, end - i);
    i = end;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!components.empty()) components.pop_back();
      continue;
    }
    components.emplace_back(part);
  }
  return components;
}

}  // namespace qrv::offline
