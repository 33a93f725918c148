#pragma once
// The check shared by the size-rule tests: every file planted in an image was carved at its
// head sector, under "<sector>.<ext>", with its exact size and bytes, and nothing else was.
#include <gtest/gtest.h>

#include <string>
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
