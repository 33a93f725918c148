#pragma once
// The check shared by the size-rule tests: every file planted in an image was carved at its
// head sector, under "<sector>.<ext>", with its exact size and bytes, and nothing else was.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fixtures/carving_image.h"
#include "fixtures/media_samples.h"

inline void ExpectPlantedFilesCarvedExactly(const CCarvingImage& image,
                                            const std::vector<_MEDIA_CARVED_FILE_>& vecCarved) {
    const unsigned long long u64Sector = static_cast<unsigned long long>(image.BytesPerSector());
    for (const _CARVING_PLANTED_FILE_& planted : image.Planted()) {
        SCOPED_TRACE(planted.strExt + " at sector " + std::to_string(planted.u64Sector));
        const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, planted.u64Sector);
        ASSERT_NE(pCarved, nullptr);
        EXPECT_EQ(pCarved->strName, std::to_string(planted.u64Sector) + "." + planted.strExt);
        EXPECT_EQ(pCarved->u64Size, planted.u64FullBytes);
        const unsigned long long u64At = planted.u64Sector * u64Sector;
        MEDIA_BYTES vecPlanted(image.Bytes().begin() + static_cast<long>(u64At),
                               image.Bytes().begin() + static_cast<long>(u64At + planted.u64FullBytes));
        EXPECT_TRUE(pCarved->vecRecovered == vecPlanted);
    }
    // Nothing inside the samples was taken for another file.
    EXPECT_EQ(vecCarved.size(), image.Planted().size());
}

// An image of neutral bytes holding the files (bytes, extension) one after another from sector 2:
// every other file followed at once by the next one's head, the others by three sectors of noise.
inline CCarvingImage PlantOneAfterAnother(const std::vector<std::pair<MEDIA_BYTES, std::string>>& vecFiles,
                                          int nSector, uint32_t nSeed) {
    unsigned long long u64Bytes = 0;
    for (const auto& file : vecFiles) u64Bytes += file.first.size();
    CCarvingImage image(u64Bytes / static_cast<unsigned long long>(nSector) + 4 * vecFiles.size() + 8, nSector);
    image.FillNeutral(0, image.SectorCount(), nSeed);
    unsigned long long u64Next = 2;
    for (size_t i = 0; i < vecFiles.size(); ++i) {
        image.Plant(u64Next, vecFiles[i].first, vecFiles[i].second);
        u64Next += image.SectorsOf(vecFiles[i].first.size()) + (i % 2 == 0 ? 0 : 3);
    }
    return image;
}
