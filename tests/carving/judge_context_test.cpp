// The shared read buffer lives exactly as long as some judge object does.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "carving/file_type_judge.h"

namespace {

TEST(JudgeContext, ReadBufferLivesWhileAnyJudgeExists) {
    ASSERT_EQ(CFileTypeJudge::GetInstanceCount(), 0);
    EXPECT_EQ(CFileTypeJudge::m_pReadBuf, nullptr);
    auto pFirst = std::make_unique<CFileTypeJudge>();
    ASSERT_NE(CFileTypeJudge::m_pReadBuf, nullptr);
    unsigned char* pBuf = CFileTypeJudge::m_pReadBuf;
    pBuf[FILE_TYPE_JUDGE_READ_BUF_BYTES - 1] = 0x5A;  // the whole buffer is usable
    {
        CFileTypeJudge second;
        CFileTypeJudge copy(second);  // copies own the buffer too
        EXPECT_EQ(CFileTypeJudge::GetInstanceCount(), 3);
        EXPECT_EQ(CFileTypeJudge::m_pReadBuf, pBuf);
    }
    // The first object still uses it.
    EXPECT_EQ(CFileTypeJudge::m_pReadBuf, pBuf);
    EXPECT_EQ(pBuf[FILE_TYPE_JUDGE_READ_BUF_BYTES - 1], 0x5A);
    pFirst.reset();
    EXPECT_EQ(CFileTypeJudge::GetInstanceCount(), 0);
    EXPECT_EQ(CFileTypeJudge::m_pReadBuf, nullptr);
    // And comes back for the next engine.
    std::vector<CFileTypeJudge> vecEngines(2);
    EXPECT_NE(CFileTypeJudge::m_pReadBuf, nullptr);
}

}  // namespace
