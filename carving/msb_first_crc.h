#pragma once
// Table-driven CRCs computed most significant bit first, from zero and without a final
// inversion: FLAC's frame header (8 bits, polynomial 0x07) and frame (16 bits, 0x8005) checks,
// and Ogg's page check (32 bits, 0x04C11DB7). zlib's CRC-32 is the reflected kind, not one of
// these. Over data followed by its own big-endian CRC, such a CRC comes out 0.
#include <array>
#include <cstddef>
#include <cstdint>

template <typename T, T POLYNOMIAL>
class CMsbFirstCrc {
public:
    static T Update(T crc, const unsigned char* p, size_t nLen) {
        const std::array<T, 256>& table = Table();
        for (size_t i = 0; i < nLen; ++i) crc = Step(table, crc, p[i]);
        return crc;
    }
    // One byte, with the table the caller holds (for loops that look at every value).
    static T Step(const std::array<T, 256>& table, T crc, unsigned char uc) {
        const unsigned int nTop = static_cast<unsigned int>(crc >> TOP_SHIFT) & 0xFFu;
        return static_cast<T>(ShiftedOut(crc) ^ table[nTop ^ uc]);
    }
    static const std::array<T, 256>& Table() {
        static const std::array<T, 256> s_table = MakeTable();
        return s_table;
    }

private:
    static constexpr int TOP_SHIFT = 8 * static_cast<int>(sizeof(T)) - 8;
    static constexpr T TOP_BIT = static_cast<T>(T{1} << (8 * sizeof(T) - 1));

    // crc << 8 in T's width (0 for an 8-bit CRC).
    static T ShiftedOut(T crc) { return sizeof(T) == 1 ? T{0} : static_cast<T>(static_cast<uint64_t>(crc) << 8); }

    static std::array<T, 256> MakeTable() {
        std::array<T, 256> table{};
        for (unsigned int i = 0; i < 256; ++i) {
            T crc = static_cast<T>(static_cast<uint64_t>(i) << TOP_SHIFT);
            for (int nBit = 0; nBit < 8; ++nBit)
                crc = (crc & TOP_BIT) != 0 ? static_cast<T>(static_cast<T>(crc << 1) ^ POLYNOMIAL) : static_cast<T>(crc << 1);
            table[i] = crc;
        }
        return table;
    }
};

using CFlacHeaderCrc = CMsbFirstCrc<uint8_t, 0x07>;
using CFlacFrameCrc = CMsbFirstCrc<uint16_t, 0x8005>;
using COggPageCrc = CMsbFirstCrc<uint32_t, 0x04C11DB7u>;
