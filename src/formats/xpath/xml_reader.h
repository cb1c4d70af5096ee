// A small, strict XML reader for structured event queries (<QueryList>).
// Entry point: ParseXml(), which turns UTF-8 text into a flat XmlDocument or
// refuses it with a reason. It knows exactly what query documents use:
// elements, attributes in ' or " quotes, character data, CDATA sections, the
// five predefined entities, numeric character references, comments and the
// XML declaration. DOCTYPE, other processing instructions and anything not
// well-formed are refused.
#ifndef QRV_FORMATS_XPATH_XML_READER_H_
#define QRV_FORMATS_XPATH_XML_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xpath {

// Query documents nest three levels (QueryList/Query/Select). The reader is
// iterative, so the cap only bounds memory for hostile input; 32 leaves room
// for any document the schema allows and then some.
inline constexpr size_t kMaxXmlDepth = 32;

struct XmlElement {
  std::string name;
  size_t offset = 0;          // of its '<' in the text
  size_t content_offset = 0;  // just past its start tag
  std::vector<std::pair<std::string, std::string>> attributes;  // decoded
  std::string text;  // all character data directly inside, decoded, in order
  std::vector<uint32_t> children;  // indices into XmlDocument::elements
};

// elements[0] is the document element.
struct XmlDocument {
  std::vector<XmlElement> elements;
};

// Returns false and sets *error when `text` is not a well-formed document of
// the supported kind: what was expected or found there, for people, and, in
// *error_offset when given, the byte offset in `text` where reading stopped.
bool ParseXml(std::string_view text, XmlDocument* doc, std::string* error,
              size_t* error_offset = nullptr);

}  // namespace xpath

#endif  // QRV_FORMATS_XPATH_XML_READER_H_
