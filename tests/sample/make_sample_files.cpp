// Writes the files of the sample memory card into a folder: photos, music and videos that are
// valid files of their formats, generated here so the sample needs no download.
#include <cstdio>
#include <string>
#include <vector>

#include "fixtures/media_samples.h"
#include "fixtures/temp_dir.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_sample_files FOLDER\n");
        return 1;
    }
    const std::string strFolder = argv[1];
    struct Sample {
        const char* szName;
        MEDIA_BYTES vecBytes;
    };
    const std::vector<Sample> vecSamples = {
        {"Beach day.jpg", MakeJpegFile(180000, 1)},
        {"IMG_0002.JPG", MakeJpegFile(95000, 2)},
        {"Sunset over the lake.png", MakePngFile(160, 120, 3)},
        {"Family portrait.bmp", MakeBmpFile(64, 48, 4)},
        {"Summer song.mp3", MakeMp3File(300)},
        {"Voice memo.wav", MakeWavFile(40000, 5)},
        {"Birthday clip.avi", MakeAviFile(40, 6)},
        {"Holiday trailer.mp4", MakeMp4File(150000, 7)},
    };
    for (const Sample& sample : vecSamples) {
        std::string strPath = strFolder + "/" + sample.szName;
        if (!WriteWholeFile(strPath, sample.vecBytes.data(), sample.vecBytes.size())) {
            fprintf(stderr, "make_sample_files: cannot write %s\n", strPath.c_str());
            return 1;
        }
    }
    return 0;
}
