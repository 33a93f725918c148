#include "carving/type_table.h"

#include <cstring>
#include <vector>

#include "carving/file_type_judge.h"
#include "util/path.h"
#include "util/text.h"

namespace {
using J = CFileTypeJudge;
}  // namespace

// The first bytes a head can begin with (ANY_LEAD: its signature lies past offset 0).
#define LEAD(bytes) bytes, static_cast<int>(sizeof(bytes) - 1)
#define ANY_LEAD nullptr, 0

// Rows sharing a test and size rule stand together; the order of the groups is the walk order.
const _EXTEND_NAME_AND_TYPE_ szExtendNameAndType[EXTEND_NAME_TABLE_ROWS] = {
    {"mpeg", EXT_MPG, J::IsMpgType, GetMPGFileBytesSize, LEAD("\x00")},
    {"mpg", EXT_MPG, J::IsMpgType, GetMPGFileBytesSize, LEAD("\x00")},
    {"vob", EXT_MPG, J::IsMpgType, GetMPGFileBytesSize, LEAD("\x00")},
    {"mp4", EXT_MP4, J::IsMp4Type, GetMP4FileBytesSize, ANY_LEAD},
    {"rmvb", EXT_RMVB, J::IsRmvbType, GetRMVBFileBytesSize, LEAD(".")},
    {"rm", EXT_RMVB, J::IsRmvbType, GetRMVBFileBytesSize, LEAD(".")},
    {"wmv", EXT_ASF, J::IsAsfType, GetASFFileBytesSize, LEAD("\x30")},
    {"asf", EXT_ASF, J::IsAsfType, GetASFFileBytesSize, LEAD("\x30")},
    {"wma", EXT_ASF, J::IsAsfType, GetASFFileBytesSize, LEAD("\x30")},
    {"swf", EXT_SWF, J::IsSwfType, GetSWFFileBytesSize, LEAD("CF")},
    {"avi", EXT_AVI, J::IsAviType, GetAVIFileBytesSize, LEAD("R")},
    {"flv", EXT_FLV, J::IsFlvType, GetFLVFileBytesSize, LEAD("F")},
    {"3gp", EXT_3GP, J::Is3pgType, GetMOVFileBytesSize, ANY_LEAD},
    // Before Matroska: a WebM head is Matroska with its own document type.
    {"webm", EXT_WEBM, J::IsWebmType, GetMKVFileBytes, LEAD("\x1A")},
    {"mkv", EXT_MKV, J::IsMkvType, GetMKVFileBytes, LEAD("\x1A")},
    {"ts", EXT_TS, J::IsTsType, GetTSFileBytesSize, LEAD("\x47")},
    {"mts", EXT_MTS, J::IsMtsType, GetDefaultVedioFileBytesSize, ANY_LEAD},
    {"mxf", EXT_MXF, J::IsMxfType, GetDefaultVedioFileBytesSize, LEAD("\x06")},
    {"mp3", EXT_MP3, J::IsMp3Type, GetMP3FileBytesSize, LEAD("I")},
    {"mid", EXT_MID, J::IsMidType, GetMIDFileBytesSize, LEAD("M")},
    {"ape", EXT_APE, J::IsApeType, GetAPEFileBytesSize, LEAD("M")},
    {"wav", EXT_WAV, J::IsWavType, GetWAVFileBytesSize, LEAD("R")},
    {"mov", EXT_MOV, J::IsMovOrIsoBrandType, GetMOVFileBytesSize, ANY_LEAD},
    {"mp2", EXT_MP2, J::IsMp2Type, GetDefaultAudioFileBytesSize, LEAD("\xFF")},
    {"mmf", EXT_MMF, J::IsMmfType, GetDefaultAudioFileBytesSize, LEAD("M")},
    {"fla", EXT_FLA, J::IsFlaType, GetFLAFileBytesSize, LEAD("\xD0")},
    {"gif", EXT_GIF, J::IsGifType, GetGIFFileBytesSize, LEAD("G")},
    {"bmp", EXT_BMP, J::IsBmpType, GetBMPFileBytesSize, LEAD("B")},
    {"dib", EXT_BMP, J::IsBmpType, GetBMPFileBytesSize, LEAD("B")},
    {"jpg", EXT_JPG, J::IsJpgType, GetJPGFileBytesSize, LEAD("\xFF")},
    {"jpeg", EXT_JPG, J::IsJpgType, GetJPGFileBytesSize, LEAD("\xFF")},
    {"jpe", EXT_JPG, J::IsJpgType, GetJPGFileBytesSize, LEAD("\xFF")},
    {"jfif", EXT_JPG, J::IsJpgType, GetJPGFileBytesSize, LEAD("\xFF")},
    {"png", EXT_PNG, J::IsPngType, GetPNGFileBytesSize, LEAD("\x89")},
    {"psd", EXT_PSD, J::IsPsdType, GetDefaultPictureFileBytesSize, LEAD("8")},
    // Camera RAW before TIFF: the RAW test claims only TIFF heads that a RAW mark or IFD0 names
    // as a camera's raw file, so every other TIFF still reaches the TIFF row.
    {"cr2", EXT_CR2, J::IsCameraRawType, GetCameraRawFileBytesSize, LEAD("IM")},
    {"nef", EXT_NEF, J::IsCameraRawType, GetCameraRawFileBytesSize, LEAD("IM")},
    {"arw", EXT_ARW, J::IsCameraRawType, GetCameraRawFileBytesSize, LEAD("IM")},
    {"dng", EXT_DNG, J::IsCameraRawType, GetCameraRawFileBytesSize, LEAD("IM")},
    {"orf", EXT_ORF, J::IsCameraRawType, GetCameraRawFileBytesSize, LEAD("IM")},
    {"rw2", EXT_RW2, J::IsCameraRawType, GetCameraRawFileBytesSize, LEAD("IM")},
    {"pef", EXT_PEF, J::IsCameraRawType, GetCameraRawFileBytesSize, LEAD("IM")},
    {"raf", EXT_RAF, J::IsRafType, GetRAFFileBytesSize, LEAD("F")},
    {"tif", EXT_TIF, J::IsTifType, GetTIFFileBytesSize, LEAD("IM")},
    {"tiff", EXT_TIF, J::IsTifType, GetTIFFileBytesSize, LEAD("IM")},
    {"ico", EXT_ICO, J::IsIcoType, GetICOFileBytesSize, LEAD("\x00")},
    {"doc", EXT_DOC, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"dot", EXT_DOC, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"wps", EXT_DOC, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"wpt", EXT_DOC, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"xls", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"xlt", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"xla", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"et", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"ett", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"ppt", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"pot", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"pps", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"dps", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"dpt", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"ole", EXT_OLE, J::IsOffice2003Type, GetOFFICE2003FileBytesSize, LEAD("\xD0")},
    {"docx", EXT_DOCX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"docm", EXT_DOCX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"dotm", EXT_DOCX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"dotx", EXT_DOCX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"xlsx", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"xlsb", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"xlsm", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"xlsx", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},  // repeated on purpose
    {"xlam", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"xltx", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"xltm", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"pptx", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"pptm", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"potx", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"potm", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"ppsx", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"ppsm", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"mso07", EXT_MSO07, J::IsOffice2007Type, GetOFFICE2007FileBytesSize, ANY_LEAD},
    {"pdf", EXT_PDF, J::IsPdfType, GetPDFFileBytesSize, LEAD("%")},
    {"gz", EXT_GZIP, J::IsGzipType, GetGZIPFileBytesSize, LEAD("\x1F")},
    {"gzip", EXT_GZIP, J::IsGzipType, GetGZIPFileBytesSize, LEAD("\x1F")},
    {"7z", EXT_7Z, J::Is7zType, Get7ZFileBytesSize, LEAD("7")},
    {"zip", EXT_ZIP, J::IsZipType, GetZIPFileBytesSize, LEAD("P")},
    {"rar", EXT_RAR, J::IsRarType, GetRARFileBytesSize, LEAD("R")},
    {"cab", EXT_CAB, J::IsCabType, GetCABFileBytesSize, LEAD("M")},
    {"exe", EXT_EXE, J::IsPeType, nullptr, LEAD("M")},
    {"dll", EXT_DLL, J::IsPeType, nullptr, LEAD("M")},
    {"sys", EXT_SYS, J::IsPeType, nullptr, LEAD("M")},
    {"gho", EXT_GHO, J::IsGhoType, nullptr, LEAD("\xFE")},
    {"db", EXT_DB, J::IsSqlType, GetDBFileBytesSize, LEAD("S")},
    {"dbx", EXT_DBX, J::IsDbxEmailType, GetMailFileBytesSize, LEAD("\xCF")},
    {"pst", EXT_PST, J::IsPstEmailType, GetMailFileBytesSize, LEAD("!")},
    {"fla", EXT_FLA, J::IsFlaType, GetFLAFileBytesSize, LEAD("\xD0")},
    {"ttf", EXT_TTF, J::IsTtfType, GetTTFFileBytesSize, LEAD("\x00")},
    {"ico", EXT_ICO, J::IsIcoType, GetICOFileBytesSize, LEAD("\x00")},
    // Heads no earlier row accepts, so they stand last and change no earlier answer. (The ISO
    // brand rows share the "mov" row's test: the walk asks it there, once.)
    {"heic", EXT_HEIC, J::IsMovOrIsoBrandType, GetMOVFileBytesSize, ANY_LEAD},
    {"heif", EXT_HEIC, J::IsMovOrIsoBrandType, GetMOVFileBytesSize, ANY_LEAD},
    {"avif", EXT_AVIF, J::IsMovOrIsoBrandType, GetMOVFileBytesSize, ANY_LEAD},
    {"cr3", EXT_CR3, J::IsMovOrIsoBrandType, GetMOVFileBytesSize, ANY_LEAD},
    {"m4a", EXT_M4A, J::IsMovOrIsoBrandType, GetMOVFileBytesSize, ANY_LEAD},
    {"m4b", EXT_M4A, J::IsMovOrIsoBrandType, GetMOVFileBytesSize, ANY_LEAD},
    {"webp", EXT_WEBP, J::IsWebpType, GetWEBPFileBytesSize, LEAD("R")},
    {"flac", EXT_FLAC, J::IsFlacType, GetFLACFileBytesSize, LEAD("f")},
    {"ogg", EXT_OGG, J::IsOggType, GetOGGFileBytesSize, LEAD("O")},
    {"oga", EXT_OGG, J::IsOggType, GetOGGFileBytesSize, LEAD("O")},
    {"opus", EXT_OPUS, J::IsOggType, GetOGGFileBytesSize, LEAD("O")},
    {nullptr, EXT_UNKNOWN, nullptr, nullptr, ANY_LEAD},
};

#undef LEAD
#undef ANY_LEAD

const _EXTEND_NAME_AND_TYPE_* FindFirstRowOfType(EXTEND_NAME_TYPE nType) {
    // Asked once per swept sector: answer from a table of first rows built on first use.
    static const std::vector<const _EXTEND_NAME_AND_TYPE_*> s_vecFirstRow = [] {
        std::vector<const _EXTEND_NAME_AND_TYPE_*> vecFirst;
        for (const _EXTEND_NAME_AND_TYPE_* pRow = szExtendNameAndType; pRow->szExtendName != nullptr; ++pRow) {
            size_t nCode = static_cast<size_t>(pRow->nFileType);
            if (nCode >= vecFirst.size()) vecFirst.resize(nCode + 1, nullptr);
            if (vecFirst[nCode] == nullptr) vecFirst[nCode] = pRow;
        }
        return vecFirst;
    }();
    size_t nCode = static_cast<size_t>(nType);
    return nCode < s_vecFirstRow.size() ? s_vecFirstRow[nCode] : nullptr;
}

const _EXTEND_NAME_AND_TYPE_* FindFirstRowOfExtension(const char* szExt) {
    if (szExt == nullptr) return nullptr;
    // Lower-cased copy; an extension longer than the copy holds matches no row anyway.
    char szLower[KORVALO_PATH_PART_SIZE];
    size_t nLen = strnlen(szExt, sizeof(szLower));
    if (nLen >= sizeof(szLower)) return nullptr;
    memcpy(szLower, szExt, nLen + 1);
    Convert2Lowercase(szLower);
    for (const _EXTEND_NAME_AND_TYPE_* pRow = szExtendNameAndType; pRow->szExtendName != nullptr;
         ++pRow)
        if (strcmp(pRow->szExtendName, szLower) == 0) return pRow;
    return nullptr;
}
