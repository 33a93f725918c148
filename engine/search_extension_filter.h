#pragma once
// Which nodes a result store shows and which a search takes, decided from the extension of the
// node's name and its health flag.
#include <cstddef>
#include <cstdint>

// Longest extension kept: a node name holds at most 255 bytes.
constexpr size_t NODE_EXTENSION_CAPACITY = 256;

// The text after the last "." of the first nNameMax bytes of szName (which need not hold a NUL),
// with 'A'-'Z' lowered, into szExt (NODE_EXTENSION_CAPACITY bytes). A name without "." gives "".
// Returns the extension's length.
size_t GetLowerExtension(const char* szName, size_t nNameMax, char* szExt);

// A damaged picture is hidden from listings and searches. A name without an extension is not a
// picture, whatever its health.
bool IsDamagedPicture(bool bHealthy, const char* szLowerExt, size_t nExtLen);

// The search rule for file nodes: an extension named in the key is taken; one of a known
// category that the key does not name is left out; anything else (no extension, or one of no
// category) is taken only when the "other" category is wanted. Damaged pictures never are.
class CSearchExtensionFilter {
public:
    // szSearchKey is the 8-bit key ("*.mp4|*.other|..."); it must outlive the filter.
    CSearchExtensionFilter(const char* szSearchKey, bool bWantOther);

    bool Takes(const char* szName, size_t nNameMax, bool bHealthy);
    // Damaged pictures the key asked for but Takes refused.
    unsigned long long HiddenDamagedCount() const { return m_u64HiddenDamaged; }

private:
    struct CachedDecision {
        uint8_t nLen = 0xFF;      // 0xFF: empty slot
        bool bTake = false;
        bool bPicture = false;
        char szExt[21] = {};
    };
    // Most stores hold a few dozen distinct extensions, so decisions are remembered in a small
    // fixed table instead of searching the lists again for every node.
    static constexpr size_t kCacheSlots = 256;

    void Decide(const char* szExt, size_t nExtLen, bool& bTake, bool& bPicture) const;

    const char* m_szSearchKey;
    bool m_bWantOther;
    unsigned long long m_u64HiddenDamaged = 0;
    CachedDecision m_cache[kCacheSlots];
};
