// Legacy log bytes from records; see evt_writer.h.
#include "formats/evt/evt_writer.h"

namespace evt {

namespace {

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}
void Patch32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutString(std::vector<uint8_t>* out, const std::u16string& s) {
  for (char16_t c : s) Put16(out, c);
  Put16(out, 0);
}
void Pad4(std::vector<uint8_t>* out) {
  while (out->size() % 4 != 0) out->push_back(0);
}

}  // namespace

std::vector<uint8_t> EncodeRecord(const WriterRecord& r) {
  std::vector<uint8_t> out;
  Put32(&out, 0);  // size, patched
  Put32(&out, kSignature);
  Put32(&out, r.number);
  Put32(&out, r.time_generated);
  Put32(&out, r.time_written);
  Put32(&out, r.event_id);
  Put16(&out, r.event_type);
  Put16(&out, static_cast<uint16_t>(r.strings.size()));
  Put16(&out, r.category);
  Put16(&out, 0);
  Put32(&out, 0);  // closing record number
  const size_t offsets_at = out.size();
  for (int i = 0; i < 5; ++i) Put32(&out, 0);
  PutString(&out, r.source);
  PutString(&out, r.computer);
  Pad4(&out);
  const uint32_t sid_offset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), r.sid.begin(), r.sid.end());
  // Strings start on an even offset (a SID of Windows's own is 8 + 4n
  // bytes long; an odd one given here is padded).
  if (out.size() % 2 != 0) out.push_back(0);
  const uint32_t strings_offset = static_cast<uint32_t>(out.size());
  for (const std::u16string& s : r.strings) PutString(&out, s);
  const uint32_t data_offset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), r.data.begin(), r.data.end());
  Pad4(&out);
  Put32(&out, 0);
  const uint32_t size = static_cast<uint32_t>(out.size());
  Patch32(&out, 0, size);
  Patch32(&out, size - 4, size);
  Patch32(&out, offsets_at, strings_offset);
  Patch32(&out, offsets_at + 4, static_cast<uint32_t>(r.sid.size()));
  Patch32(&out, offsets_at + 8, sid_offset);
  Patch32(&out, offsets_at + 12, static_cast<uint32_t>(r.data.size()));
  Patch32(&out, offsets_at + 16, data_offset);
  return out;
}

std::vector<uint8_t> EncodeFileHeader(const FileHeader& h) {
  std::vector<uint8_t> out;
  Put32(&out, kFileHeaderSize);
  Put32(&out, kSignature);
  Put32(&out, 1);
  Put32(&out, 1);
  Put32(&out, h.first_offset);
  Put32(&out, h.eof_offset);
  Put32(&out, h.last_number);
  Put32(&out, h.first_number);
  Put32(&out, h.max_size);
  Put32(&out, h.flags);
  Put32(&out, h.retention);
  Put32(&out, kFileHeaderSize);
  return out;
}

std::vector<uint8_t> EncodeEofRecord(const EofRecord& e) {
  std::vector<uint8_t> out;
  Put32(&out, kEofRecordSize);
  Put32(&out, 0x11111111);
  Put32(&out, 0x22222222);
  Put32(&out, 0x33333333);
  Put32(&out, 0x44444444);
  Put32(&out, e.first_offset);
  Put32(&out, e.eof_offset);
  Put32(&out, e.last_number);
  Put32(&out, e.first_number);
  Put32(&out, kEofRecordSize);
  return out;
}

std::vector<uint8_t> WriteEvtLog(const std::vector<WriterRecord>& records,
                                 const LogLayout& layout) {
  std::vector<uint8_t> file(layout.file_size, 0);
  const uint64_t span = layout.file_size - kFileHeaderSize;
  uint64_t pos = layout.first_offset;
  uint64_t used = 0;
  const auto put = [&](const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
      file[pos] = b;
      if (++pos == layout.file_size) pos = kFileHeaderSize;
    }
    used += bytes.size();
  };
  FileHeader header;
  header.first_offset = layout.first_offset;
  header.max_size = layout.file_size;
  uint32_t first = 0;
  uint32_t last = 0;
  bool any = false;
  for (const WriterRecord& r : records) {
    const std::vector<uint8_t> bytes = EncodeRecord(r);
    if (used + bytes.size() + kEofRecordSize > span) break;
    put(bytes);
    if (!any) first = r.number;
    last = r.number;
    any = true;
  }
  header.eof_offset = static_cast<uint32_t>(pos);
  header.first_number = any ? first : 1;
  header.last_number = any ? last + 1 : 1;
  if (layout.first_offset != kFileHeaderSize) header.flags |= kFlagWrapped;
  EofRecord eof{header.first_offset, header.eof_offset, header.last_number,
                header.first_number};
  if (layout.eof_record) put(EncodeEofRecord(eof));
  if (layout.dirty) {
    header.flags |= kFlagDirty;
    header.first_offset = kFileHeaderSize;
    header.eof_offset = kFileHeaderSize;
    header.first_number = 1;
    header.last_number = 1;
  }
  const std::vector<uint8_t> head = EncodeFileHeader(header);
  std::copy(head.begin(), head.end(), file.begin());
  return file;
}

}  // namespace evt
