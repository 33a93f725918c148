#include "engine/search_extension_filter.h"

#include <cstring>

#include "engine/file_categories.h"
#include "engine/known_extensions.h"

namespace {
bool ContainsDotExtension(const char* szText, const char* szExt, size_t nExtLen) {
    return ListHoldsEntry(szText, szExt, nExtLen);
}

size_t HashExtension(const char* szExt, size_t nLen) {
    uint32_t u32Hash = 2166136261u;
    for (size_t i = 0; i < nLen; ++i) u32Hash = (u32Hash ^ static_cast<unsigned char>(szExt[i])) * 16777619u;
    return u32Hash;
}
}  // namespace

size_t GetLowerExtension(const char* szName, size_t nNameMax, char* szExt) {
    size_t nNameLen = strnlen(szName, nNameMax);
    const void* pDot = memrchr(szName, '.', nNameLen);
    size_t nExtLen = 0;
    if (pDot != nullptr) {
        const char* pExt = static_cast<const char*>(pDot) + 1;
        nExtLen = nNameLen - static_cast<size_t>(pExt - szName);
        if (nExtLen > NODE_EXTENSION_CAPACITY - 1) nExtLen = NODE_EXTENSION_CAPACITY - 1;
        for (size_t i = 0; i < nExtLen; ++i) {
            char c = pExt[i];
            szExt[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    szExt[nExtLen] = '\0';
    return nExtLen;
}

bool IsDamagedPicture(bool bHealthy, const char* szLowerExt, size_t nExtLen) {
    if (bHealthy || nExtLen == 0) return false;
    return ListHoldsEntry(GetStorePhotoExtensionList(), szLowerExt, nExtLen);
}

CSearchExtensionFilter::CSearchExtensionFilter(const char* szSearchKey, bool bWantOther)
    : m_szSearchKey(szSearchKey), m_bWantOther(bWantOther) {}

void CSearchExtensionFilter::Decide(const char* szExt, size_t nExtLen, bool& bTake, bool& bPicture) const {
    bPicture = IsDamagedPicture(false, szExt, nExtLen);
    if (nExtLen != 0 && ContainsDotExtension(m_szSearchKey, szExt, nExtLen))
        bTake = true;
    else if (nExtLen != 0 && ContainsDotExtension(GetStoreKnownExtensionText(), szExt, nExtLen))
        bTake = false;
    else
        bTake = m_bWantOther;
}

bool CSearchExtensionFilter::Takes(const char* szName, size_t nNameMax, bool bHealthy) {
    char szExt[NODE_EXTENSION_CAPACITY];
    size_t nExtLen = GetLowerExtension(szName, nNameMax, szExt);
    bool bTake = false;
    bool bPicture = false;
    if (nExtLen < sizeof(CachedDecision::szExt)) {
        CachedDecision& slot = m_cache[HashExtension(szExt, nExtLen) % kCacheSlots];
        if (slot.nLen != nExtLen || memcmp(slot.szExt, szExt, nExtLen) != 0) {
            Decide(szExt, nExtLen, slot.bTake, slot.bPicture);
            slot.nLen = static_cast<uint8_t>(nExtLen);
            memcpy(slot.szExt, szExt, nExtLen);
        }
        bTake = slot.bTake;
        bPicture = slot.bPicture;
    } else {
        Decide(szExt, nExtLen, bTake, bPicture);
    }
    if (bPicture && !bHealthy) {
        if (bTake) ++m_u64HiddenDamaged;
        return false;
    }
    return bTake;
}
