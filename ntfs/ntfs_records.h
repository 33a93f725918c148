#pragma once
// On-disk NTFS layouts the engines read. Fields are read from byte buffers with util/le.h at
// the offsets these structures fix; the structures are never overlaid on disk bytes.
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
// The boot-sector fields the engines use (the volume test itself is IsNtfs).
struct NTFS_BOOT_SECTOR {
    uint8_t btJump[3];
    char szOemName[8];              // "NTFS    "
    uint16_t u16BytesPerSector;
    uint8_t u8SectorsPerCluster;
    uint8_t btUnused1[26];
    uint64_t u64TotalSectors;
    uint64_t u64MftCluster;
};

// Header of one MFT file record.
struct NTFS_FILE_RECORD_HEADER {
    char szSignature[4];            // "FILE"
    uint16_t u16UsaOffset;
    uint16_t u16UsaCount;
    uint64_t u64LogSequence;
    uint16_t u16SequenceNumber;
    uint16_t u16LinkCount;
    uint16_t u16FirstAttributeOffset;
    uint16_t u16Flags;              // NTFS_RECORD_IN_USE, NTFS_RECORD_IS_DIRECTORY
    uint32_t u32BytesInUse;
    uint32_t u32BytesAllocated;
    uint64_t u64BaseRecord;
    uint16_t u16NextAttributeId;
    uint16_t u16Padding;
    uint32_t u32RecordNumber;
    uint16_t u16UpdateSequence;     // the saved sector-end words follow
};

// Attribute header with its resident tail.
struct NTFS_RESIDENT_ATTRIBUTE {
    uint32_t u32Type;
    uint32_t u32Length;
    uint8_t u8NonResident;
    uint8_t u8NameLength;
    uint16_t u16NameOffset;
    uint16_t u16Flags;
    uint16_t u16AttributeId;
    uint32_t u32ValueLength;
    uint16_t u16ValueOffset;
    uint8_t u8Indexed;
    uint8_t u8Padding;
};

// Attribute header with its non-resident tail.
struct NTFS_NONRESIDENT_ATTRIBUTE {
    uint32_t u32Type;
    uint32_t u32Length;
    uint8_t u8NonResident;
    uint8_t u8NameLength;
    uint16_t u16NameOffset;
    uint16_t u16Flags;
    uint16_t u16AttributeId;
    uint64_t u64StartVcn;
    uint64_t u64LastVcn;
    uint16_t u16RunListOffset;
    uint16_t u16CompressionUnit;
    uint32_t u32Padding;
    uint64_t u64AllocatedSize;
    uint64_t u64RealSize;
    uint64_t u64InitializedSize;
};

// Value of a $FILE_NAME attribute; it starts NTFS_FILE_NAME_VALUE_OFFSET bytes into the attribute.
struct NTFS_FILE_NAME_VALUE {
    uint64_t u64ParentReference;    // low 32 bits: the parent's record number
    uint64_t u64CreationTime;
    uint64_t u64ModificationTime;
    uint64_t u64MftChangeTime;
    uint64_t u64AccessTime;
    uint64_t u64AllocatedSize;
    uint64_t u64RealSize;
    uint32_t u32FileAttributes;
    uint32_t u32Reparse;
    uint8_t u8NameLength;           // UTF-16 units
    uint8_t u8Namespace;            // 0 POSIX, 1 Windows, 2 DOS, 3 Windows and DOS
    // UTF-16LE name follows
};

// One entry of an $ATTRIBUTE_LIST value.
struct NTFS_ATTRIBUTE_LIST_ENTRY {
    uint32_t u32Type;
    uint16_t u16Length;
    uint8_t u8NameLength;
    uint8_t u8NameOffset;
    uint64_t u64StartVcn;
    uint64_t u64Reference;          // low 48 bits: the record holding the attribute
    uint16_t u16AttributeId;
};
#pragma pack(pop)

static_assert(sizeof(NTFS_BOOT_SECTOR) == 56, "NTFS_BOOT_SECTOR layout");
static_assert(offsetof(NTFS_BOOT_SECTOR, szOemName) == 3, "NTFS_BOOT_SECTOR layout");
static_assert(offsetof(NTFS_BOOT_SECTOR, u16BytesPerSector) == 11, "NTFS_BOOT_SECTOR layout");
static_assert(offsetof(NTFS_BOOT_SECTOR, u8SectorsPerCluster) == 13, "NTFS_BOOT_SECTOR layout");
static_assert(offsetof(NTFS_BOOT_SECTOR, btUnused1) == 14, "NTFS_BOOT_SECTOR layout");
static_assert(offsetof(NTFS_BOOT_SECTOR, u64TotalSectors) == 40, "NTFS_BOOT_SECTOR layout");
static_assert(offsetof(NTFS_BOOT_SECTOR, u64MftCluster) == 48, "NTFS_BOOT_SECTOR layout");

static_assert(sizeof(NTFS_FILE_RECORD_HEADER) == 50, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u16UsaOffset) == 4, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u16UsaCount) == 6, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u64LogSequence) == 8, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u16SequenceNumber) == 16, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u16LinkCount) == 18, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u16FirstAttributeOffset) == 20, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u16Flags) == 22, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u32BytesInUse) == 24, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u32BytesAllocated) == 28, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u64BaseRecord) == 32, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u16NextAttributeId) == 40, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u16Padding) == 42, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u32RecordNumber) == 44, "NTFS_FILE_RECORD_HEADER layout");
static_assert(offsetof(NTFS_FILE_RECORD_HEADER, u16UpdateSequence) == 48, "NTFS_FILE_RECORD_HEADER layout");

static_assert(sizeof(NTFS_RESIDENT_ATTRIBUTE) == 24, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u32Length) == 4, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u8NonResident) == 8, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u8NameLength) == 9, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u16NameOffset) == 10, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u16Flags) == 12, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u16AttributeId) == 14, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u32ValueLength) == 16, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u16ValueOffset) == 20, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u8Indexed) == 22, "NTFS_RESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_RESIDENT_ATTRIBUTE, u8Padding) == 23, "NTFS_RESIDENT_ATTRIBUTE layout");

static_assert(sizeof(NTFS_NONRESIDENT_ATTRIBUTE) == 64, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u32Length) == 4, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u8NonResident) == 8, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u8NameLength) == 9, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u16NameOffset) == 10, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u16Flags) == 12, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u16AttributeId) == 14, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64StartVcn) == 16, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64LastVcn) == 24, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u16RunListOffset) == 32, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u16CompressionUnit) == 34, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u32Padding) == 36, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64AllocatedSize) == 40, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64RealSize) == 48, "NTFS_NONRESIDENT_ATTRIBUTE layout");
static_assert(offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64InitializedSize) == 56, "NTFS_NONRESIDENT_ATTRIBUTE layout");

static_assert(sizeof(NTFS_FILE_NAME_VALUE) == 66, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u64CreationTime) == 8, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u64ModificationTime) == 16, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u64MftChangeTime) == 24, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u64AccessTime) == 32, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u64AllocatedSize) == 40, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u64RealSize) == 48, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u32FileAttributes) == 56, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u32Reparse) == 60, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u8NameLength) == 64, "NTFS_FILE_NAME_VALUE layout");
static_assert(offsetof(NTFS_FILE_NAME_VALUE, u8Namespace) == 65, "NTFS_FILE_NAME_VALUE layout");

static_assert(sizeof(NTFS_ATTRIBUTE_LIST_ENTRY) == 26, "NTFS_ATTRIBUTE_LIST_ENTRY layout");
static_assert(offsetof(NTFS_ATTRIBUTE_LIST_ENTRY, u16Length) == 4, "NTFS_ATTRIBUTE_LIST_ENTRY layout");
static_assert(offsetof(NTFS_ATTRIBUTE_LIST_ENTRY, u8NameLength) == 6, "NTFS_ATTRIBUTE_LIST_ENTRY layout");
static_assert(offsetof(NTFS_ATTRIBUTE_LIST_ENTRY, u8NameOffset) == 7, "NTFS_ATTRIBUTE_LIST_ENTRY layout");
static_assert(offsetof(NTFS_ATTRIBUTE_LIST_ENTRY, u64StartVcn) == 8, "NTFS_ATTRIBUTE_LIST_ENTRY layout");
static_assert(offsetof(NTFS_ATTRIBUTE_LIST_ENTRY, u64Reference) == 16, "NTFS_ATTRIBUTE_LIST_ENTRY layout");
static_assert(offsetof(NTFS_ATTRIBUTE_LIST_ENTRY, u16AttributeId) == 24, "NTFS_ATTRIBUTE_LIST_ENTRY layout");

// Record flags.
constexpr uint16_t NTFS_RECORD_IN_USE = 0x01;
constexpr uint16_t NTFS_RECORD_IS_DIRECTORY = 0x02;

// Attribute types.
constexpr uint32_t NTFS_ATTR_ATTRIBUTE_LIST = 0x20;
constexpr uint32_t NTFS_ATTR_FILE_NAME = 0x30;
constexpr uint32_t NTFS_ATTR_DATA = 0x80;
constexpr uint32_t NTFS_ATTR_INDEX_ALLOCATION = 0xA0;
constexpr uint32_t NTFS_ATTR_END = 0xFFFFFFFFu;
// Fill pattern met after the end of a record's attributes on some volumes.
constexpr uint32_t NTFS_ATTR_FILL = 0xFDFDFDFDu;

// A $FILE_NAME value begins this many bytes into its attribute.
constexpr uint32_t NTFS_FILE_NAME_VALUE_OFFSET = 24;
// The name's first UTF-16 unit, counted from the attribute's start.
constexpr uint32_t NTFS_FILE_NAME_TEXT_OFFSET = NTFS_FILE_NAME_VALUE_OFFSET + sizeof(NTFS_FILE_NAME_VALUE);
constexpr uint8_t NTFS_NAMESPACE_WIN32 = 1;

// Fixed record numbers.
constexpr uint32_t NTFS_MFT_RECORD = 0;
constexpr uint32_t NTFS_ROOT_RECORD = 5;
constexpr uint32_t NTFS_BITMAP_RECORD = 6;
// Records below this number are the volume's own files and never become nodes.
constexpr uint32_t NTFS_FIRST_USER_RECORD = 12;

// Bytes every record-reading operation takes from the device at once.
constexpr int NTFS_RECORD_READ_BYTES = 8192;

// Result codes of the record readers besides 0 and 87.
constexpr int NTFS_ERROR_NO_SIGNATURE = -1;
constexpr int NTFS_ERROR_ATTRIBUTE_NOT_FOUND = -100;
constexpr int NTFS_ERROR_NO_RESIDENT_DATA = -101;

// Field offsets used with the le.h readers.
constexpr size_t NTFS_OFS_FIRST_ATTRIBUTE = offsetof(NTFS_FILE_RECORD_HEADER, u16FirstAttributeOffset);
constexpr size_t NTFS_OFS_FLAGS = offsetof(NTFS_FILE_RECORD_HEADER, u16Flags);
constexpr size_t NTFS_OFS_BYTES_IN_USE = offsetof(NTFS_FILE_RECORD_HEADER, u32BytesInUse);
constexpr size_t NTFS_OFS_BYTES_ALLOCATED = offsetof(NTFS_FILE_RECORD_HEADER, u32BytesAllocated);
constexpr size_t NTFS_OFS_RECORD_NUMBER = offsetof(NTFS_FILE_RECORD_HEADER, u32RecordNumber);
constexpr size_t NTFS_OFS_UPDATE_SEQUENCE = offsetof(NTFS_FILE_RECORD_HEADER, u16UpdateSequence);
constexpr size_t NTFS_OFS_SAVED_WORDS = sizeof(NTFS_FILE_RECORD_HEADER);
