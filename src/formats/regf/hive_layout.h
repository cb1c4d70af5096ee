// On-disk layout of a registry hive (regf), shared by the reader and the
// writer: field offsets, record signatures, flags and size limits.
//
// A hive is a 4096-byte base block followed by "hbin" blocks (multiples of
// 4096 bytes). Each bin holds a 32-byte header and then cells that fill it
// without gaps. A cell is a signed 32-bit size (negative = allocated, the
// size includes these 4 bytes, multiple of 8) followed by one record. Records
// refer to each other by cell offset: the offset of the size field counted
// from the end of the base block; 0xFFFFFFFF means "none". Integers are
// little-endian.
#ifndef QRV_FORMATS_REGF_HIVE_LAYOUT_H_
#define QRV_FORMATS_REGF_HIVE_LAYOUT_H_

#include <cstdint>

namespace regf::layout {

inline constexpr uint32_t kNoCell = 0xFFFFFFFF;

// Base block.
inline constexpr uint32_t kBaseBlockSize = 4096;
inline constexpr uint32_t kSignature = 0x66676572;  // "regf"
inline constexpr uint32_t kPrimarySeqOffset = 4;
inline constexpr uint32_t kSecondarySeqOffset = 8;
inline constexpr uint32_t kBaseTimeOffset = 12;
inline constexpr uint32_t kMajorOffset = 20;
inline constexpr uint32_t kMinorOffset = 24;
inline constexpr uint32_t kFileTypeOffset = 28;
inline constexpr uint32_t kFileFormatOffset = 32;
inline constexpr uint32_t kRootCellOffset = 36;
inline constexpr uint32_t kBinsSizeOffset = 40;
inline constexpr uint32_t kClusteringOffset = 44;
inline constexpr uint32_t kFileNameOffset = 48;
inline constexpr uint32_t kFileNameSize = 64;
inline constexpr uint32_t kChecksumOffset = 508;
inline constexpr uint32_t kPrimaryFileType = 0;

// Bins and cells.
inline constexpr uint32_t kBinAlignment = 4096;
inline constexpr uint32_t kBinHeaderSize = 32;
inline constexpr uint32_t kBinSignature = 0x6E696268;  // "hbin"
inline constexpr uint32_t kBinOffsetOffset = 4;
inline constexpr uint32_t kBinSizeOffset = 8;
inline constexpr uint32_t kBinTimeOffset = 20;
inline constexpr uint32_t kCellAlignment = 8;
inline constexpr uint32_t kCellHeaderSize = 4;

// Two-letter record signatures as read by LoadU16.
inline constexpr uint16_t kNkSig = 0x6B6E;  // "nk"
inline constexpr uint16_t kVkSig = 0x6B76;  // "vk"
inline constexpr uint16_t kSkSig = 0x6B73;  // "sk"
inline constexpr uint16_t kLiSig = 0x696C;  // "li"
inline constexpr uint16_t kLfSig = 0x666C;  // "lf"
inline constexpr uint16_t kLhSig = 0x686C;  // "lh"
inline constexpr uint16_t kRiSig = 0x6972;  // "ri"
inline constexpr uint16_t kDbSig = 0x6264;  // "db"

// Key node (nk) fields, offsets within the record.
inline constexpr uint32_t kNkFlags = 2;
inline constexpr uint32_t kNkLastWrite = 4;
inline constexpr uint32_t kNkParent = 16;
inline constexpr uint32_t kNkSubkeyCount = 20;
inline constexpr uint32_t kNkVolatileSubkeyCount = 24;
inline constexpr uint32_t kNkSubkeyList = 28;
inline constexpr uint32_t kNkVolatileSubkeyList = 32;
inline constexpr uint32_t kNkValueCount = 36;
inline constexpr uint32_t kNkValueList = 40;
inline constexpr uint32_t kNkSecurity = 44;
inline constexpr uint32_t kNkClass = 48;
inline constexpr uint32_t kNkMaxSubkeyName = 52;
inline constexpr uint32_t kNkMaxSubkeyClass = 56;
inline constexpr uint32_t kNkMaxValueName = 60;
inline constexpr uint32_t kNkMaxValueData = 64;
inline constexpr uint32_t kNkNameLength = 72;
inline constexpr uint32_t kNkClassLength = 74;
inline constexpr uint32_t kNkName = 76;
inline constexpr uint16_t kKeyHiveEntry = 0x0004;  // the root key
inline constexpr uint16_t kKeyNoDelete = 0x0008;
inline constexpr uint16_t kKeyCompressedName = 0x0020;  // name is Latin-1, one byte a unit

// Value key (vk) fields.
inline constexpr uint32_t kVkNameLength = 2;
inline constexpr uint32_t kVkDataSize = 4;
inline constexpr uint32_t kVkData = 8;
inline constexpr uint32_t kVkType = 12;
inline constexpr uint32_t kVkFlags = 16;
inline constexpr uint32_t kVkName = 20;
inline constexpr uint16_t kValueCompressedName = 0x0001;
inline constexpr uint32_t kDataInline = 0x80000000;  // data sits in the offset field
inline constexpr uint32_t kInlineDataMax = 4;

// Subkey lists: signature, u16 element count, elements.
inline constexpr uint32_t kListHeaderSize = 4;

// Big data (db): signature, u16 segment count, u32 segment-list cell. Values
// larger than one segment are split this way from format minor version 4 on.
inline constexpr uint32_t kBigDataSegmentSize = 16344;
inline constexpr uint32_t kDbRecordSize = 8;
inline constexpr uint32_t kBigDataMinMinor = 4;

// Windows limits (characters) on key and value names.
inline constexpr uint32_t kMaxKeyNameChars = 255;
inline constexpr uint32_t kMaxValueNameChars = 16383;

}  // namespace regf::layout

#endif  // QRV_FORMATS_REGF_HIVE_LAYOUT_H_
