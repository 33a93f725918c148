// gzip: zlib inflates the member from its head, reading the device piece by piece and throwing
// the output away, until the deflate stream ends and the 8-byte trailer has been read. zlib's
// gzip decoding compares the trailer's CRC-32 and ISIZE with what it inflated and reports a
// mismatch as a data error; any error means the member is not whole here (0).
#include <zlib.h>

#include <vector>

#include "carving/carved_file_bytes.h"
#include "carving/structure_walks.h"

namespace {

constexpr int GZIP_ONLY_WINDOW_BITS = 15 + 16;  // largest window, gzip wrapper required
constexpr size_t OUTPUT_PIECE_BYTES = 65536;
// Deflate reaches 1:1032 at most; a member giving more output is damage (or a bomb).
constexpr unsigned long long MAX_OUTPUT_PER_INPUT = 1040;

// Frees the stream however the walk ends.
struct CInflateStream {
    z_stream stream{};
    bool bReady = inflateInit2(&stream, GZIP_ONLY_WINDOW_BITS) == Z_OK;
    ~CInflateStream() {
        if (bReady) inflateEnd(&stream);
    }
};

}  // namespace

unsigned long long InflateGzipMember(unsigned long long u64CapBytes) {
    CInflateStream inflater;
    if (!inflater.bReady) return 0;
    z_stream& zs = inflater.stream;
    CCarvedFileBytes bytes;
    std::vector<unsigned char> vecOutput(OUTPUT_PIECE_BYTES);
    unsigned long long u64In = 0;
    unsigned long long u64Out = 0;
    for (;;) {
        size_t nGot = 0;
        const unsigned char* pIn = bytes.PeekUpTo(u64In, CCarvedFileBytes::MAX_PEEK_BYTES, nGot);
        if (pIn == nullptr) return 0;
        zs.next_in = const_cast<unsigned char*>(pIn);  // zlib's input is never written
        zs.avail_in = static_cast<uInt>(nGot);
        const unsigned long long u64MaxOut = (u64In + nGot) * MAX_OUTPUT_PER_INPUT;
        int nRet = Z_OK;
        // Inflate what this piece holds; output that fills the buffer means more may follow.
        do {
            zs.next_out = vecOutput.data();
            zs.avail_out = static_cast<uInt>(vecOutput.size());
            nRet = inflate(&zs, Z_NO_FLUSH);
            u64Out += vecOutput.size() - zs.avail_out;
        } while (nRet == Z_OK && (zs.avail_in > 0 || zs.avail_out == 0) && u64Out <= u64MaxOut);
        u64In += nGot - zs.avail_in;
        if (nRet == Z_STREAM_END) return u64In <= u64CapBytes ? u64In : 0;
        // Z_BUF_ERROR: this piece is used up and the stream wants more.
        if ((nRet != Z_OK && nRet != Z_BUF_ERROR) || u64Out > u64MaxOut || u64In >= u64CapBytes) return 0;
    }
}
