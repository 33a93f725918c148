#include "carving/type_table.h"

#include <cstring>
#include <vector>

#include "carving/file_type_judge.h"
#include "util/path.h"
#include "util/text.h"

namespace {
using J = CFileTypeJudge;
}  // namespace

// Rows sharing a test and size rule stand together; the order of the groups is the walk order.
const _EXTEND_NAME_AND_TYPE_ szExtendNameAndType[EXTEND_NAME_TABLE_ROWS] = {
    {"mpeg", EXT_MPG, J::IsMpgType, GetMPGFileBytesSize},
    {"mpg", EXT_MPG, J::IsMpgType, GetMPGFileBytesSize},
    {"vob", EXT_MPG, J::IsMpgType, GetMPGFileBytesSize},
    {"mp4", EXT_MP4, J::IsMp4Type, GetMP4FileBytesSize},
    {"rmvb", EXT_RMVB, J::IsRmvbType, GetRMVBFileBytesSize},
    {"rm", EXT_RMVB, J::IsRmvbType, GetRMVBFileBytesSize},
    {"wmv", EXT_ASF, J::IsAsfType, GetASFFileBytesSize},
    {"asf", EXT_ASF, J::IsAsfType, GetASFFileBytesSize},
    {"wma", EXT_ASF, J::IsAsfType, GetASFFileBytesSize},
    {"swf", EXT_SWF, J::IsSwfType, GetSWFFileBytesSize},
    {"avi", EXT_AVI, J::IsAviType, GetAVIFileBytesSize},
    {"flv", EXT_FLV, J::IsFlvType, GetFLVFileBytesSize},
    {"3gp", EXT_3GP, J::Is3pgType, GetMOVFileBytesSize},
    {"mkv", EXT_MKV, J::IsMkvType, GetMKVFileBytes},
    {"ts", EXT_TS, J::IsTsType, GetTSFileBytesSize},
    {"mts", EXT_MTS, J::IsMtsType, GetDefaultVedioFileBytesSize},
    {"mxf", EXT_MXF, J::IsMxfType, GetDefaultVedioFileBytesSize},
    {"mp3", EXT_MP3, J::IsMp3Type, GetMP3FileBytesSize},
    {"mid", EXT_MID, J::IsMidType, GetMIDFileBytesSize},
    {"ape", EXT_APE, J::IsApeType, GetAPEFileBytesSize},
    {"wav", EXT_WAV, J::IsWavType, GetWAVFileBytesSize},
    {"mov", EXT_MOV, J::IsMovType, GetMOVFileBytesSize},
    {"mp2", EXT_MP2, J::IsMp2Type, GetDefaultAudioFileBytesSize},
    {"mmf", EXT_MMF, J::IsMmfType, GetDefaultAudioFileBytesSize},
    {"fla", EXT_FLA, J::IsFlaType, GetFLAFileBytesSize},
    {"gif", EXT_GIF, J::IsGifType, GetGIFFileBytesSize},
    {"bmp", EXT_BMP, J::IsBmpType, GetBMPFileBytesSize},
    {"dib", EXT_BMP, J::IsBmpType, GetBMPFileBytesSize},
    {"jpg", EXT_JPG, J::IsJpgType, GetJPGFileBytesSize},
    {"jpeg", EXT_JPG, J::IsJpgType, GetJPGFileBytesSize},
    {"jpe", EXT_JPG, J::IsJpgType, GetJPGFileBytesSize},
    {"jfif", EXT_JPG, J::IsJpgType, GetJPGFileBytesSize},
    {"png", EXT_PNG, J::IsPngType, GetPNGFileBytesSize},
    {"psd", EXT_PSD, J::IsPsdType, GetDefaultPictureFileBytesSize},
    {"tif", EXT_TIF, J::IsTifType, GetTIFFileBytesSize},
    {"tiff", EXT_TIF, J::IsTifType, GetTIFFileBytesSize},
    {"ico", EXT_ICO, J::IsIcoType, GetICOFileBytesSize},
    {"doc", EXT_DOC, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"dot", EXT_DOC, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"wps", EXT_DOC, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"wpt", EXT_DOC, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"xls", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"xlt", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"xla", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"et", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"ett", EXT_XLS, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"ppt", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"pot", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"pps", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"dps", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"dpt", EXT_PPT, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"ole", EXT_OLE, J::IsOffice2003Type, GetOFFICE2003FileBytesSize},
    {"docx", EXT_DOCX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"docm", EXT_DOCX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"dotm", EXT_DOCX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"dotx", EXT_DOCX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"xlsx", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"xlsb", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"xlsm", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"xlsx", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},  // repeated on purpose
    {"xlam", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"xltx", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"xltm", EXT_XLSX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"pptx", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"pptm", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"potx", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"potm", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"ppsx", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"ppsm", EXT_PPTX, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"mso07", EXT_MSO07, J::IsOffice2007Type, GetOFFICE2007FileBytesSize},
    {"pdf", EXT_PDF, J::IsPdfType, GetPDFFileBytesSize},
    {"gz", EXT_GZIP, J::IsGzipType, GetGZIPFileBytesSize},
    {"gzip", EXT_GZIP, J::IsGzipType, GetGZIPFileBytesSize},
    {"7z", EXT_7Z, J::Is7zType, Get7ZFileBytesSize},
    {"zip", EXT_ZIP, J::IsZipType, GetZIPFileBytesSize},
    {"rar", EXT_RAR, J::IsRarType, GetRARFileBytesSize},
    {"cab", EXT_CAB, J::IsCabType, GetCABFileBytesSize},
    {"exe", EXT_EXE, J::IsPeType, nullptr},
    {"dll", EXT_DLL, J::IsPeType, nullptr},
    {"sys", EXT_SYS, J::IsPeType, nullptr},
    {"gho", EXT_GHO, J::IsGhoType, nullptr},
    {"db", EXT_DB, J::IsSqlType, GetDBFileBytesSize},
    {"dbx", EXT_DBX, J::IsDbxEmailType, GetMailFileBytesSize},
    {"pst", EXT_PST, J::IsPstEmailType, GetMailFileBytesSize},
    {"fla", EXT_FLA, J::IsFlaType, GetFLAFileBytesSize},
    {"ttf", EXT_TTF, J::IsTtfType, GetTTFFileBytesSize},
    {"ico", EXT_ICO, J::IsIcoType, GetICOFileBytesSize},
    {nullptr, EXT_UNKNOWN, nullptr, nullptr},
};

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
