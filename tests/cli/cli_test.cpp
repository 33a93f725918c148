// End-to-end tests of the korvalo command line on images made with the real tools.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/carving_image.h"
#include "fixtures/fat_image_walk.h"
#include "fixtures/media_samples.h"
#include "fixtures/nbd_failing_disk.h"
#include "fixtures/ntfs3g_mount.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"

namespace {

struct CliResult {
    int nExit = -1;
    std::string strOut;
};

std::string Quote(const std::string& str) {
    std::string strOut = "'";
    for (char c : str) strOut += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return strOut + "'";
}

std::vector<unsigned char> ReadAll(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

class CliTest : public ::testing::Test {
protected:
    // strEnvironment: "NAME=value ..." for this run; KORVALO_HOME is a fresh folder unless it sets one.
    CliResult Run(const std::string& strArgs, const std::string& strEnvironment = "") {
        std::string strCommand = "KORVALO_HOME=" + Quote(m_dir.File("home")) + " " + strEnvironment + " " +
                                 KORVALO_CLI_PATH + " " + strArgs + " 2>" + Quote(m_dir.File("stderr.txt"));
        CliResult result;
        FILE* pPipe = popen(strCommand.c_str(), "r");
        if (pPipe == nullptr) return result;
        char szBuf[4096];
        size_t nRead;
        while ((nRead = fread(szBuf, 1, sizeof(szBuf), pPipe)) > 0) result.strOut.append(szBuf, nRead);
        int nStatus = pclose(pPipe);
        result.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        return result;
    }
    // Starts korvalo in the background, its output to files; the pid.
    pid_t Start(const std::string& strArgs) {
        const std::string strCommand = "KORVALO_HOME=" + Quote(m_dir.File("home")) + " exec " + KORVALO_CLI_PATH + " " +
                                       strArgs + " >" + Quote(m_dir.File("stdout.txt")) + " 2>" +
                                       Quote(m_dir.File("stderr.txt"));
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", strCommand.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
    static int ExitOf(pid_t pid) {
        int nStatus = 0;
        if (waitpid(pid, &nStatus, 0) != pid) return -1;
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    }
    // Waits up to 60 s for a path to appear.
    static bool WaitFor(const std::string& strPath) {
        for (int i = 0; i < 6000 && access(strPath.c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return access(strPath.c_str(), F_OK) == 0;
    }
    std::string Stderr() {
        std::vector<unsigned char> vec = ReadAll(m_dir.File("stderr.txt"));
        return std::string(vec.begin(), vec.end());
    }
    // Writes a sample file into the temp folder and returns its path.
    std::string Sample(const std::string& strName, const MEDIA_BYTES& vecBytes) {
        std::string strPath = m_dir.File(strName);
        EXPECT_TRUE(WriteWholeFile(strPath, vecBytes.data(), vecBytes.size()));
        m_mapSamples[strName] = vecBytes;
        return strPath;
    }
    bool Mtools(const std::vector<std::string>& vecArgs) { return RunMtools(vecArgs); }
    std::string Checksum(const std::string& strPath) {
        std::vector<unsigned char> vec = ReadAll(strPath);
        return std::to_string(vec.size()) + ":" + std::to_string(MediaCrc32(vec.data(), vec.size()));
    }
    void ExpectRecovered(const std::string& strRecovered, const std::string& strSample) {
        EXPECT_EQ(ReadAll(strRecovered), m_mapSamples[strSample]) << strRecovered;
    }

    CTempDir m_dir;
    std::map<std::string, MEDIA_BYTES> m_mapSamples;
};

bool HaveFatTools() {
    return HaveTool("/usr/sbin/mkfs.fat") && HaveTool("mcopy");
}

}  // namespace

TEST_F(CliTest, UsageAndOpenErrorsHaveTheirExitCodes) {
    EXPECT_EQ(Run("").nExit, 1);
    EXPECT_EQ(Run("scan").nExit, 1);
    EXPECT_EQ(Run("scan a b").nExit, 1);
    EXPECT_EQ(Run("scan x --bogus").nExit, 1);
    EXPECT_EQ(Run("recover x").nExit, 1);  // no --to
    EXPECT_EQ(Run("scan x --partition 1 --start 0 --sectors 8").nExit, 1);
    EXPECT_EQ(Run("scan x --only pictures").nExit, 1);
    EXPECT_EQ(Run("scan " + Quote(m_dir.File("missing.img"))).nExit, 2);
    EXPECT_NE(Stderr().find("cannot open"), std::string::npos);
    EXPECT_EQ(Run("--help").nExit, 0);
    for (const char* szBad : {"forget", "forget a b", "scan x --ids 1", "recover x --to o --ids 0",
                              "recover x --to o --ids 5-3", "recover x --to o --ids 1,,2", "recover x --to o --ids 2 --rescan",
                              "recover x --to o --ids 2 --only photo"})
        EXPECT_EQ(Run(szBad).nExit, 1) << szBad;
    CCarvingImage image(64);
    ASSERT_TRUE(image.WriteTo(m_dir.File("small.img")));
    EXPECT_EQ(Run("scan " + Quote(m_dir.File("small.img")) + " --start 64 --sectors 8").nExit, 1);
    EXPECT_NE(Stderr().find("start sector 64 lies past the end"), std::string::npos) << Stderr();
}

// scan lists ids; recover --ids takes those finds from the saved scan without sweeping again;
// forget deletes the saved scan.
TEST_F(CliTest, SavedScanIsReusedById) {
    CCarvingImage image(4096);
    image.FillNeutral(0, 4096, 8);
    std::vector<std::string> vecNames;
    for (int i = 0; i < 4; ++i) {
        const unsigned long long u64Sector = 100 + 1000 * static_cast<unsigned long long>(i);
        vecNames.push_back(std::to_string(u64Sector) + ".png");
        Sample(vecNames.back(), MakePngFile(40, 30, 90 + i));
        image.FillZero(u64Sector, image.SectorsOf(m_mapSamples[vecNames.back()].size()) + 4);
        image.Plant(u64Sector, m_mapSamples[vecNames.back()], "png");
    }
    const std::string strImage = m_dir.File("card.img"), strOut = m_dir.File("out");
    ASSERT_TRUE(image.WriteTo(strImage));

    CliResult scan = Run("scan " + Quote(strImage) + " --json --quiet");
    ASSERT_EQ(scan.nExit, 0) << Stderr();
    EXPECT_NE(scan.strOut.find("\"saved_scan\":\"new\""), std::string::npos) << scan.strOut;
    EXPECT_NE(scan.strOut.find("\"by_category\":{\"photo\":4}"), std::string::npos) << scan.strOut;
    std::map<std::string, std::string> mapIdOf;
    std::istringstream lines(scan.strOut);
    for (std::string strLine; std::getline(lines, strLine);)
        for (const std::string& strName : vecNames)
            if (strLine.find("\"name\":\"" + strName + "\"") != std::string::npos)
                mapIdOf[strName] = strLine.substr(6, strLine.find(',') - 6);
    ASSERT_EQ(mapIdOf.size(), 4u) << scan.strOut;

    CliResult recover = Run("recover " + Quote(strImage) + " --to " + Quote(strOut) + " --quiet --ids " +
                            mapIdOf[vecNames[1]] + "," + mapIdOf[vecNames[3]]);
    ASSERT_EQ(recover.nExit, 0) << Stderr();
    EXPECT_NE(Stderr().find("reusing the saved scan (nothing read again)"), std::string::npos) << Stderr();
    EXPECT_NE(recover.strOut.find("2 files recovered"), std::string::npos) << recover.strOut;
    ExpectRecovered(strOut + "/photo/" + vecNames[1], vecNames[1]);
    ExpectRecovered(strOut + "/photo/" + vecNames[3], vecNames[3]);
    EXPECT_NE(access((strOut + "/photo/" + vecNames[0]).c_str(), F_OK), 0) << "not chosen";

    EXPECT_EQ(Run("recover " + Quote(strImage) + " --to " + Quote(strOut) + " --ids 99").nExit, 1);
    EXPECT_NE(Stderr().find("there is no find 99"), std::string::npos) << Stderr();
    CliResult forget = Run("forget " + Quote(strImage));
    EXPECT_EQ(forget.nExit, 0);
    EXPECT_NE(forget.strOut.find("1 saved scan(s)"), std::string::npos) << forget.strOut;
    EXPECT_EQ(Run("recover " + Quote(strImage) + " --to " + Quote(strOut) + " --ids 1").nExit, 1);
    EXPECT_NE(Stderr().find("no saved scan"), std::string::npos) << Stderr();
}

// The first Ctrl-C stops the scan and recovers what was found; a second quits at once.
TEST_F(CliTest, CtrlCStopsCleanlyAndTwiceQuitsAtOnce) {
    const std::string strImage = m_dir.File("big.img"), strOut = m_dir.File("out");
    ASSERT_TRUE(MakeZeroImage(strImage, 2LL << 30));
    // A picture, and a recording large enough that recovering it takes a while.
    const MEDIA_BYTES vecPhoto = MakeJpegFile(20000, 95), vecSound = MakeWavFile(24 << 20, 96);
    CCarvingImage head(257 + (vecSound.size() >> 9));
    head.Plant(100, vecPhoto, "jpg");
    head.Plant(256, vecSound, "wav");
    ASSERT_TRUE(WriteWholeFile(m_dir.File("head"), head.Bytes().data(), head.Bytes().size()));
    ASSERT_TRUE(RunQuiet("dd if=" + Quote(m_dir.File("head")) + " of=" + Quote(strImage) + " conv=notrunc status=none"));
    auto waitForStderr = [&](const char* szText) {
        for (int i = 0; i < 6000 && Stderr().find(szText) == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };

    // Stopped once the scan's stores exist, long before a 2 GiB sweep ends.
    pid_t pid = Start("recover " + Quote(strImage) + " --to " + Quote(strOut) + " --quiet");
    ASSERT_TRUE(WaitFor(m_dir.File("home/ScanLog/1")));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGINT);
    EXPECT_EQ(ExitOf(pid), 3) << Stderr();
    EXPECT_NE(Stderr().find("scan stopped after"), std::string::npos) << Stderr();
    EXPECT_EQ(ReadAll(strOut + "/photo/100.jpg"), vecPhoto);
    EXPECT_EQ(ReadAll(strOut + "/audio/256.wav"), vecSound);

    // Run again: it continues the saved scan; one Ctrl-C stops the sweep, and a second one,
    // while the recording is being written, ends the program at once.
    pid = Start("recover " + Quote(strImage) + " --to " + Quote(m_dir.File("out2")) + " --quiet");
    waitForStderr("using the saved scan");
    kill(pid, SIGINT);
    waitForStderr("stopping;");
    kill(pid, SIGINT);
    EXPECT_EQ(ExitOf(pid), 130) << Stderr();
    EXPECT_NE(Stderr().find("quitting at once"), std::string::npos) << Stderr();
}

// Reads of one range fail in the kernel, as on a failing disk: the scan goes on past it, the
// file over it comes back as far as it could be read and is called partial with the sector, the
// summary lists the range (also when the saved scan is reused), and the exit status is 7.
TEST_F(CliTest, UnreadableSectorsAreListedAndTheirFileIsPartial) {
    CCarvingImage image(4096);
    const MEDIA_BYTES vecSound = MakeWavFile(40000, 97);
    Sample("100.png", MakePngFile(30, 20, 98));
    Sample("3000.png", MakePngFile(20, 30, 99));
    image.Plant(100, m_mapSamples["100.png"], "png");
    image.Plant(1000, vecSound, "wav");
    image.Plant(3000, m_mapSamples["3000.png"], "png");
    const std::string strImage = m_dir.File("failing.img"), strOut = m_dir.File("out");
    ASSERT_TRUE(image.WriteTo(strImage));
    // Page-aligned: the kernel reads the file in 4 KiB pages, so a page fails whole.
    CNbdFailingDisk disk(strImage, SECTOR_RANGE{1048, 8}, m_dir.Path());
    if (!disk.Ready()) GTEST_SKIP() << disk.SkipReason();

    CliResult scan = Run("scan " + Quote(disk.Path()) + " --json --quiet");
    EXPECT_EQ(scan.nExit, 7) << Stderr();
    EXPECT_NE(scan.strOut.find("\"unreadable_ranges\":[{\"first\":1048,\"count\":8}]"), std::string::npos) << scan.strOut;
    CliResult recover = Run("recover " + Quote(disk.Path()) + " --to " + Quote(strOut) + " --quiet");
    EXPECT_EQ(recover.nExit, 7) << Stderr();
    EXPECT_NE(recover.strOut.find("2 files recovered, 1 partial, 0 failed"), std::string::npos) << recover.strOut;
    EXPECT_NE(Stderr().find("1000.wav: partial: cannot read sector 1048 (kept the first 24576 of " +
                            std::to_string(vecSound.size()) + " bytes)"),
              std::string::npos) << Stderr();
    EXPECT_NE(Stderr().find("8 sector(s) could not be read: 1048-1055"), std::string::npos) << Stderr();
    ExpectRecovered(strOut + "/photo/100.png", "100.png");
    ExpectRecovered(strOut + "/photo/3000.png", "3000.png");
    EXPECT_EQ(ReadAll(strOut + "/audio/1000.wav"), MEDIA_BYTES(vecSound.begin(), vecSound.begin() + 24576));
}

TEST_F(CliTest, FatCardWithMbrGivesBackDeletedFilesAndFolders) {
    if (!HaveFatTools() || !HaveTool("/usr/sbin/sfdisk")) GTEST_SKIP() << "dosfstools, mtools or sfdisk missing";
    std::string strCard = m_dir.File("card.img");
    ASSERT_TRUE(MakeZeroImage(strCard, 80LL << 20));
    ASSERT_TRUE(RunQuiet("echo 'label: dos\nstart=2048, type=c' | /usr/sbin/sfdisk --quiet " + Quote(strCard)));
    ASSERT_TRUE(RunQuiet("/usr/sbin/mkfs.fat -F 32 -s 1 --offset 2048 " + Quote(strCard)));
    std::string strFat = strCard + "@@" + std::to_string(2048 * 512);
    std::string strPhoto = Sample("Sommer am Meer é.jpg", MakeJpegFile(40000, 11));
    std::string strSong = Sample("Lied.mp3", MakeMp3File(60));
    std::string strKeep = Sample("keep.png", MakePngFile(40, 30, 12));
    std::string strOld = Sample("old.wav", MakeWavFile(9000, 13));
    // A deleted picture name on data of no known kind: judged damaged, left out, and said so.
    std::string strBroken = Sample("broken.jpg", NeutralBytes(3000, 14));
    ASSERT_TRUE(Mtools({"mmd", "-i", strFat, "::/DCIM", "::/Music", "::/Old"}));
    ASSERT_TRUE(Mtools({"mcopy", "-i", strFat, strPhoto, strKeep, strBroken, "::/DCIM/"}));
    ASSERT_TRUE(Mtools({"mcopy", "-i", strFat, strSong, "::/Music/"}));
    ASSERT_TRUE(Mtools({"mcopy", "-i", strFat, strOld, "::/Old/"}));
    ASSERT_TRUE(Mtools({"mdel", "-i", strFat, "::/DCIM/Sommer am Meer é.jpg", "::/Music/Lied.mp3", "::/DCIM/broken.jpg"}));
    ASSERT_TRUE(Mtools({"mdeltree", "-i", strFat, "::/Old"}));
    const std::string strBefore = Checksum(strCard);

    CliResult disks = Run("disks " + Quote(strCard));
    EXPECT_EQ(disks.nExit, 0);
    EXPECT_NE(disks.strOut.find("1  disk 0  start 2048"), std::string::npos) << disks.strOut;
    EXPECT_NE(disks.strOut.find("Partition 1  FAT32\n"), std::string::npos) << disks.strOut;

    CliResult scan = Run("scan " + Quote(strCard) + " --partition 1 --json --quiet");
    ASSERT_EQ(scan.nExit, 0) << Stderr();
    EXPECT_NE(scan.strOut.find("\"name\":\"Sommer am Meer é.jpg\""), std::string::npos) << scan.strOut;
    EXPECT_NE(scan.strOut.find("\"category\":\"audio\""), std::string::npos);
    // Found through the file system, so no carved copy of the same data is listed.
    EXPECT_EQ(scan.strOut.find("\"source\":\"carved\""), std::string::npos) << scan.strOut;
    EXPECT_EQ(scan.strOut.find("broken.jpg"), std::string::npos);
    EXPECT_NE(Stderr().find("1 found picture(s) judged damaged"), std::string::npos) << Stderr();

    std::string strOut = m_dir.File("out");
    CliResult recover = Run("recover " + Quote(strCard) + " --to " + Quote(strOut) + " --tree --quiet");
    ASSERT_EQ(recover.nExit, 0) << Stderr();
    ExpectRecovered(strOut + "/DCIM/Sommer am Meer é.jpg", "Sommer am Meer é.jpg");
    // Long names keep their case; short names show the case the volume marks (mtools stores
    // "DCIM" upper-case, "old.wav" lower-case), and a deleted one has lost its first letter.
    ExpectRecovered(strOut + "/Music/Lied.mp3", "Lied.mp3");
    ExpectRecovered(strOut + "/DCIM/keep.png", "keep.png");
    ExpectRecovered(strOut + "/Old/!ld.wav", "old.wav");
    EXPECT_EQ(Checksum(strCard), strBefore) << "the source image was modified";
}

TEST_F(CliTest, BareFatVolumesOfEveryKindAndAfterDamage) {
    if (!HaveFatTools()) GTEST_SKIP() << "dosfstools or mtools missing";
    std::string strPhoto = Sample("photo.jpg", MakeJpegFile(30000, 21));
    std::string strClip = Sample("Holiday clip.avi", MakeAviFile(12, 22));
    struct Case {
        const char* szName;
        int nFatBits;
        int nMiB;
        int nSectorsPerCluster;
        const char* szDamage;  // what happens to the volume after the files are deleted
    };
    const Case cases[] = {{"fat12", 12, 4, 4, ""},
                          {"fat16", 16, 32, 2, ""},
                          {"fat16-reformatted", 16, 32, 2, "reformat"},
                          {"fat32-no-boot-sector", 32, 40, 1, "zero-boot"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        std::string strImage = m_dir.File(std::string(c.szName) + ".img");
        ASSERT_TRUE(MakeFatImageWithClusters(strImage, c.nFatBits, c.nMiB, c.nSectorsPerCluster));
        // Two folders: without a boot sector the geometry comes from a pair of directory starts.
        ASSERT_TRUE(Mtools({"mmd", "-i", strImage, "::/Misc", "::/Trip"}));
        ASSERT_TRUE(Mtools({"mcopy", "-i", strImage, strPhoto, strClip, "::/Trip/"}));
        ASSERT_TRUE(Mtools({"mdel", "-i", strImage, "::/Trip/photo.jpg", "::/Trip/Holiday clip.avi"}));
        if (std::string(c.szDamage) == "reformat") {
            ASSERT_TRUE(FormatFatImage(strImage, c.nFatBits, c.nSectorsPerCluster));
        }
        if (std::string(c.szDamage) == "zero-boot") {
            ASSERT_TRUE(RunQuiet("dd if=/dev/zero of=" + Quote(strImage) + " bs=512 count=1 conv=notrunc"));
            ASSERT_TRUE(RunQuiet("dd if=/dev/zero of=" + Quote(strImage) + " bs=512 seek=6 count=1 conv=notrunc"));
        }
        std::string strOut = m_dir.File(std::string("out-") + c.szName);
        CliResult recover = Run("recover " + Quote(strImage) + " --to " + Quote(strOut) + " --quiet");
        ASSERT_EQ(recover.nExit, 0) << Stderr();
        ExpectRecovered(strOut + "/photo/!hoto.jpg", "photo.jpg");
        ExpectRecovered(strOut + "/video/Holiday clip.avi", "Holiday clip.avi");
    }
}

TEST_F(CliTest, WholeDiskScanFindsWhatThePartitionScanFinds) {
    if (!HaveFatTools() || !HaveTool("/usr/sbin/sfdisk")) GTEST_SKIP() << "dosfstools, mtools or sfdisk missing";
    std::string strPhoto = Sample("photo.jpg", MakeJpegFile(30000, 51));
    std::string strClip = Sample("Holiday clip.avi", MakeAviFile(12, 52));
    std::string strSong = Sample("A Long Song Name.mp3", MakeMp3File(40));
    // Files only in the root: no two folders give the geometry away, only the partition's boot
    // sector (or, with the first one zeroed, FAT32's copy) does.
    for (const char* szKind : {"16", "32", "32-no-boot-sector"}) {
        SCOPED_TRACE(szKind);
        const int nFatBits = szKind[0] == '1' ? 16 : 32;
        std::string strCard = m_dir.File(std::string("disk") + szKind + ".img");
        ASSERT_TRUE(MakeZeroImage(strCard, (nFatBits == 16 ? 24LL : 48LL) << 20));
        ASSERT_TRUE(RunQuiet("echo 'label: dos\nstart=2048, type=c' | /usr/sbin/sfdisk --quiet " + Quote(strCard)));
        ASSERT_TRUE(RunQuiet("/usr/sbin/mkfs.fat -F " + std::to_string(nFatBits) + " -s 1 --offset 2048 " +
                             Quote(strCard)));
        std::string strFat = strCard + "@@" + std::to_string(2048 * 512);
        ASSERT_TRUE(Mtools({"mcopy", "-i", strFat, strPhoto, strClip, strSong, "::/"}));
        ASSERT_TRUE(Mtools({"mdel", "-i", strFat, "::/Holiday clip.avi", "::/A Long Song Name.mp3"}));
        if (std::string(szKind).find("no-boot") != std::string::npos) {
            ASSERT_TRUE(RunQuiet("dd if=/dev/zero of=" + Quote(strCard) + " bs=512 seek=2048 count=1 conv=notrunc"));
        }

        CliResult whole = Run("scan " + Quote(strCard) + " --json --quiet");
        ASSERT_EQ(whole.nExit, 0) << Stderr();
        CliResult part = Run("scan " + Quote(strCard) + " --partition 1 --json --quiet");
        ASSERT_EQ(part.nExit, 0) << Stderr();
        // The finds, without the summaries (the areas differ in size) and the engine that made
        // them (the partition's own table, or the deep search of the whole disk).
        for (CliResult* pResult : {&whole, &part}) {
            pResult->strOut.erase(pResult->strOut.find("{\"summary\""));
            for (size_t nAt = 0; (nAt = pResult->strOut.find("\"source\":\"", nAt)) != std::string::npos;)
                pResult->strOut.erase(nAt, pResult->strOut.find('"', nAt + 10) + 1 - nAt);
        }
        for (const char* szName : {"photo.jpg", "Holiday clip.avi", "A Long Song Name.mp3"})
            EXPECT_NE(whole.strOut.find("\"name\":\"" + std::string(szName) + "\""), std::string::npos)
                << szName << " in " << whole.strOut;
        EXPECT_EQ(whole.strOut, part.strOut);

        std::string strOut = m_dir.File(std::string("out") + szKind);
        ASSERT_EQ(Run("recover " + Quote(strCard) + " --to " + Quote(strOut) + " --quiet").nExit, 0) << Stderr();
        ExpectRecovered(strOut + "/photo/photo.jpg", "photo.jpg");
        ExpectRecovered(strOut + "/video/Holiday clip.avi", "Holiday clip.avi");
        ExpectRecovered(strOut + "/audio/A Long Song Name.mp3", "A Long Song Name.mp3");
    }
}

TEST_F(CliTest, RawImageGivesCarvedFilesInCategoryFoldersUnderUniqueNames) {
    CCarvingImage image(4096);
    image.FillNeutral(0, 4096, 5);
    MEDIA_BYTES vecJpeg = MakeJpegFile(5000, 31);
    MEDIA_BYTES vecPng = MakePngFile(20, 20, 32);
    // Zero padding after each file, as on a card whose free clusters were never written.
    image.FillZero(100, image.SectorsOf(vecJpeg.size()) + 4);
    image.Plant(100, vecJpeg, "jpg");
    image.FillZero(300, image.SectorsOf(vecPng.size()) + 4);
    image.Plant(300, vecPng, "png");
    std::string strImage = m_dir.File("raw.img");
    ASSERT_TRUE(image.WriteTo(strImage));

    CliResult scan = Run("scan " + Quote(strImage) + " --only photo --quiet");
    ASSERT_EQ(scan.nExit, 0) << Stderr();
    EXPECT_NE(scan.strOut.find("100.jpg"), std::string::npos) << scan.strOut;
    EXPECT_NE(scan.strOut.find("300.png"), std::string::npos) << scan.strOut;

    std::string strOut = m_dir.File("out");
    ASSERT_EQ(Run("recover " + Quote(strImage) + " --to " + Quote(strOut) + " --quiet").nExit, 0) << Stderr();
    EXPECT_EQ(ReadAll(strOut + "/photo/100.jpg"), vecJpeg);
    EXPECT_EQ(ReadAll(strOut + "/photo/300.png"), vecPng);
    // A second recovery into the same folder keeps the first copies and numbers the new ones;
    // run through sudo, what it creates belongs to the user who ran sudo.
    const bool bRoot = geteuid() == 0;
    ASSERT_EQ(Run("recover " + Quote(strImage) + " --to " + Quote(strOut) + " --quiet",
                  bRoot ? "SUDO_UID=65534 SUDO_GID=65533" : "")
                  .nExit,
              0)
        << Stderr();
    EXPECT_EQ(ReadAll(strOut + "/photo/100(1).jpg"), vecJpeg);
    EXPECT_EQ(ReadAll(strOut + "/photo/100.jpg"), vecJpeg);
    struct stat st;
    ASSERT_EQ(0, stat((strOut + "/photo/100(1).jpg").c_str(), &st));
    if (bRoot) {
        EXPECT_EQ(65534u, st.st_uid);
        EXPECT_EQ(65533u, st.st_gid);
    }
    EXPECT_EQ(0644u, st.st_mode & 0777);
}

TEST_F(CliTest, FullDisksAndUnwritableWorkFoldersStopWithTheirReason) {
    if (geteuid() != 0 || !HaveTool("setpriv")) GTEST_SKIP() << "needs root (small file systems, another user) and setpriv";
    CCarvingImage image(2048);
    image.FillNeutral(0, 2048, 6);
    const MEDIA_BYTES vecFirst = MakeJpegFile(30000, 61), vecSecond = MakeJpegFile(60000, 62),
                      vecThird = MakeJpegFile(3000, 63);
    for (const auto& planted : {std::make_pair(100ULL, &vecFirst), std::make_pair(400ULL, &vecSecond),
                                std::make_pair(700ULL, &vecThird)}) {
        image.FillZero(planted.first, image.SectorsOf(planted.second->size()) + 4);
        image.Plant(planted.first, *planted.second, "jpg");
    }
    const std::string strImage = m_dir.File("raw.img"), strSmall = m_dir.File("small");
    ASSERT_TRUE(image.WriteTo(strImage));
    ASSERT_TRUE(RunQuiet("mkdir " + Quote(strSmall) + " && mount -t tmpfs -o size=64k tmpfs " + Quote(strSmall)));
    // Room for the first picture only: the second fills the disk, the recovery stops and says so
    // once, and what was written stays.
    CliResult full = Run("recover " + Quote(strImage) + " --to " + Quote(strSmall) + " --quiet");
    EXPECT_EQ(full.nExit, 4) << Stderr();
    EXPECT_NE(Stderr().find("400.jpg: destination full"), std::string::npos) << Stderr();
    EXPECT_EQ(Stderr().find("could not recover"), Stderr().rfind("could not recover")) << Stderr();
    EXPECT_NE(Stderr().find("the destination is full: recovery stopped, 1 chosen file(s) not recovered"),
              std::string::npos) << Stderr();
    EXPECT_EQ(ReadAll(strSmall + "/photo/100.jpg"), vecFirst);
    RunQuiet("umount " + Quote(strSmall));

    // The work folder's disk is full: the scan stops naming it, and lists no finds.
    ASSERT_TRUE(RunQuiet("mount -t tmpfs -o size=4k tmpfs " + Quote(strSmall)));
    CliResult noRoom = Run("scan " + Quote(strImage) + " --quiet", "KORVALO_HOME=" + Quote(strSmall + "/home"));
    EXPECT_EQ(noRoom.nExit, 6) << Stderr();
    EXPECT_NE(Stderr().find("cannot be kept in " + strSmall + "/home/ScanLog/1/ (No space left on device)"),
              std::string::npos) << Stderr();
    EXPECT_EQ(noRoom.strOut, "");
    RunQuiet("umount " + Quote(strSmall));

    // A normal user whose usual work folder root made: another place is taken and said; a work
    // folder the user named is refused with the reason.
    const std::string strRootHome = m_dir.File("roothome"), strOut = m_dir.File("user-out");
    ASSERT_TRUE(RunQuiet("chmod 755 " + Quote(m_dir.Path()) + " && mkdir -p " + Quote(strRootHome + "/.local/state/korvalo/ScanLog") +
                         " && mkdir -m 777 " + Quote(strOut)));
    const std::string strAsUser = "setpriv --reuid=65534 --regid=65534 --clear-groups env -u XDG_STATE_HOME ";
    CliResult user = Run("recover " + Quote(strImage) + " --to " + Quote(strOut) + " --quiet",
                         strAsUser + "-u KORVALO_HOME HOME=" + Quote(strRootHome));
    EXPECT_EQ(user.nExit, 0) << Stderr();
    EXPECT_NE(Stderr().find("Permission denied"), std::string::npos) << Stderr();
    EXPECT_EQ(ReadAll(strOut + "/photo/100.jpg"), vecFirst);
    CliResult named = Run("scan " + Quote(strImage) + " --quiet",
                          strAsUser + "KORVALO_HOME=" + Quote(strRootHome + "/.local/state/korvalo"));
    EXPECT_EQ(named.nExit, 6) << Stderr();
    EXPECT_NE(Stderr().find("KORVALO_HOME (" + strRootHome + "/.local/state/korvalo"), std::string::npos) << Stderr();
    EXPECT_NE(Stderr().find("Permission denied"), std::string::npos) << Stderr();
}

TEST_F(CliTest, NtfsVolumeGivesBackFilesDeletedByTheFileSystem) {
    if (!HaveTool("/usr/sbin/mkntfs")) GTEST_SKIP() << "mkntfs missing";
    std::string strImage = m_dir.File("ntfs.img");
    ASSERT_TRUE(MakeNtfsImage(strImage, 32));
    MEDIA_BYTES vecPhoto = MakeJpegFile(70000, 41);
    MEDIA_BYTES vecSong = MakeMp3File(80);
    // A JPEG thumbnail under its camera name: its carved copy must not be listed twice.
    MEDIA_BYTES vecThumb = MakeJpegFile(3000, 42);
    {
        CNtfs3gMount mount(strImage, m_dir.File("mnt"));
        if (!mount.Mounted()) GTEST_SKIP() << "no ntfs-3g FUSE mount here (needs root and /dev/fuse)";
        std::string strMnt = m_dir.File("mnt");
        ASSERT_TRUE(RunQuiet("mkdir " + Quote(strMnt + "/Urlaub")));
        ASSERT_TRUE(WriteWholeFile(strMnt + "/Urlaub/Strand 2024.jpg", vecPhoto.data(), vecPhoto.size()));
        ASSERT_TRUE(WriteWholeFile(strMnt + "/Urlaub/Lied.mp3", vecSong.data(), vecSong.size()));
        ASSERT_TRUE(WriteWholeFile(strMnt + "/IMG_0001.THM", vecThumb.data(), vecThumb.size()));
        ASSERT_TRUE(mount.Unmount());
        CNtfs3gMount again(strImage, strMnt);
        ASSERT_TRUE(again.Mounted());
        ASSERT_TRUE(RunQuiet("rm -r " + Quote(strMnt + "/Urlaub")));
        ASSERT_TRUE(again.Unmount());
    }
    const std::string strBefore = Checksum(strImage);

    CliResult scan = Run("scan " + Quote(strImage) + " --json --quiet");
    ASSERT_EQ(scan.nExit, 0) << Stderr();
    EXPECT_NE(scan.strOut.find("\"name\":\"IMG_0001.THM\""), std::string::npos) << scan.strOut;
    EXPECT_EQ(scan.strOut.find("\"source\":\"carved\""), std::string::npos) << scan.strOut;

    std::string strOut = m_dir.File("out");
    ASSERT_EQ(Run("recover " + Quote(strImage) + " --to " + Quote(strOut) + " --tree --quiet").nExit, 0) << Stderr();
    EXPECT_EQ(ReadAll(strOut + "/Urlaub/Strand 2024.jpg"), vecPhoto);
    EXPECT_EQ(ReadAll(strOut + "/Urlaub/Lied.mp3"), vecSong);
    EXPECT_EQ(Checksum(strImage), strBefore) << "the source image was modified";
}

TEST_F(CliTest, RefusesToRecoverOntoTheDeviceBeingRead) {
    if (geteuid() != 0 || !HaveTool("losetup") || !HaveTool("/usr/sbin/mkfs.ext4"))
        GTEST_SKIP() << "needs root, losetup and mkfs.ext4";
    std::string strImage = m_dir.File("ext.img");
    ASSERT_TRUE(MakeExtImage(strImage, "ext4", 32));
    std::string strLoop;
    if (FILE* pPipe = popen(("losetup -f --show " + Quote(strImage) + " 2>/dev/null").c_str(), "r")) {
        char szLine[256] = {0};
        if (fgets(szLine, sizeof(szLine), pPipe) != nullptr) strLoop = szLine;
        pclose(pPipe);
    }
    while (!strLoop.empty() && (strLoop.back() == '\n' || strLoop.back() == ' ')) strLoop.pop_back();
    if (strLoop.empty()) GTEST_SKIP() << "losetup could not attach a loop device here";
    std::string strMnt = m_dir.File("mnt");
    bool bMounted = RunQuiet("mkdir " + Quote(strMnt) + " && mount " + strLoop + " " + Quote(strMnt));
    if (bMounted) {
        // The loop device itself, and the image file behind it, are both the source.
        for (const std::string& strSource : {strLoop, strImage}) {
            CliResult refused = Run("recover " + Quote(strSource) + " --to " + Quote(strMnt + "/out") + " --quiet");
            EXPECT_EQ(refused.nExit, 5) << strSource;
            EXPECT_NE(Stderr().find("the device being read"), std::string::npos) << Stderr();
            EXPECT_NE(access((strMnt + "/out").c_str(), F_OK), 0) << "something was written";
        }
        RunQuiet("umount " + Quote(strMnt));
    }
    RunQuiet("losetup -d " + strLoop);
    if (!bMounted) GTEST_SKIP() << "could not mount the loop device here";
}
