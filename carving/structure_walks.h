#pragma once
// Exact ends from the structure of a format: each walk follows the file's own records from its
// head sector on (through CCarvedFileBytes, so every read is bounded by the device area) and
// answers the file's size in bytes. 0 means the bytes at the head do not hold the structure the
// walk expects, and the size rule keeps its end search instead. A walk never answers more than
// u64CapBytes: a structure that claims more is not believed (0).
//
// Preconditions as for every size rule: CFileTypeJudge::ParseFileBuf has set the judge context.
#include <vector>

#include "carving/file_type_judge.h"
#include "carving/size_rules.h"

// FLV: the tag chain, each tag confirmed by the PreviousTagSize after it.
unsigned long long WalkFlvTags(unsigned long long u64CapBytes);
// QuickTime and ISO base media (MP4, 3GP): the top-level boxes.
unsigned long long WalkIsoBoxes(unsigned long long u64CapBytes);
// MPEG-1 and MPEG-2 program streams: packs and their packets up to the program end code.
unsigned long long WalkMpegPacks(unsigned long long u64CapBytes);
// MP3 behind an ID3v2 tag: the audio frames, then an APEv2 and an ID3v1 tag that follow them.
unsigned long long WalkMp3Frames(unsigned long long u64CapBytes);
// TIFF: the image file directories and everything they point to.
unsigned long long WalkTiffDirectories(unsigned long long u64CapBytes);
// FLAC: the metadata blocks and the frames, each confirmed by its CRC-16, up to the last one
// (the stream's stated sample count, when there is one, tells which that is).
unsigned long long WalkFlacFrames(unsigned long long u64CapBytes);
// Ogg: the CRC-checked pages up to the first logical stream's end-of-stream page.
unsigned long long WalkOggPages(unsigned long long u64CapBytes);

// A byte range [u64Start, u64End) of the file that its structure points to.
struct TIFF_FILE_EXTENT {
    unsigned long long u64Start;
    unsigned long long u64End;
    bool bHoldsOwnHeads;  // a blob of the file's own (maker note, embedded picture as a value)
};
// Camera RAW in a TIFF container (CR2, NEF, ARW, DNG, ORF, RW2, PEF): the TIFF walk that also
// accepts the ORF and RW2 header marks, follows the CR2 header's raw IFD and the maker note's
// directories, and lists every extent of the sound directories in vecExtents.
unsigned long long WalkCameraRawDirectories(unsigned long long u64CapBytes, std::vector<TIFF_FILE_EXTENT>& vecExtents);
// gzip: the member inflated by zlib up to the end of its deflate stream and its trailer.
unsigned long long InflateGzipMember(unsigned long long u64CapBytes);

// The structure's end when the walk found one; otherwise the older rule pfnSearch's answer,
// unless the user stopped the walk (then SIZE_RULE_UNKNOWN, and no second walk is started).
inline unsigned long long StructureEndOr(unsigned long long u64StructureEnd, PFN_GET_FILE_BYTES_SIZE pfnSearch,
                                         const unsigned char* pHead, int nLen) {
    if (u64StructureEnd != 0) return u64StructureEnd;
    if (CFileTypeJudge::m_ErrorCode != 0) return SIZE_RULE_UNKNOWN;
    return pfnSearch(pHead, nLen);
}
