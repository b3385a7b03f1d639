#include "platform/mgdip.h"

#include "platform/gdip_objects.h"
#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using mGdip::GdipToken;
using mGdip::InitGDIPlus;
using mGdip::TerminateGDIPlus;
using platform::GpStatus;
using platform::Ok;

const QString kPrompt = QStringLiteral("GDI+ 初始化错误。程序即将关闭。");
const QString kTitle = QStringLiteral("初始化错误");
constexpr int kCriticalOk = 16;

struct ProgramEnded {
    int exitCode;
};

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        TerminateGDIPlus();
        mGdip::SetStartupProbe([this] {
            ++startups;
            return probeStatus;
        });
        platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
            boxes.push_back(request);
            return static_cast<int>(platform::vbOK);
        });
        platform::SetEndProgramHandler([](int code) { throw ProgramEnded{code}; });
    }
    void TearDown() override {
        TerminateGDIPlus();
        mGdip::SetStartupProbe({});
        platform::SetMessageBoxHandler({});
        platform::SetEndProgramHandler({});
    }

    GpStatus panelInit() { return InitGDIPlus(true, true, kPrompt, kCriticalOk, kTitle); }

    int startups = 0;
    GpStatus probeStatus = Ok;
    std::vector<platform::MessageBoxRequest> boxes;
};

TEST_F(Session, SecondInitStartsNothing) {
    EXPECT_EQ(GdipToken(), 0u);
    EXPECT_EQ(panelInit(), Ok);
    const std::uintptr_t token = GdipToken();
    EXPECT_NE(token, 0u);
    EXPECT_EQ(panelInit(), Ok);
    EXPECT_EQ(startups, 1);
    EXPECT_EQ(GdipToken(), token);
}

TEST_F(Session, TerminateClosesAndANewSessionStarts) {
    TerminateGDIPlus();  // without a session: nothing
    EXPECT_EQ(GdipToken(), 0u);
    EXPECT_EQ(panelInit(), Ok);
    const std::uintptr_t first = GdipToken();
    TerminateGDIPlus();
    EXPECT_EQ(GdipToken(), 0u);
    TerminateGDIPlus();
    EXPECT_EQ(GdipToken(), 0u);
    EXPECT_EQ(panelInit(), Ok);
    EXPECT_NE(GdipToken(), 0u);
    EXPECT_NE(GdipToken(), first);
    EXPECT_EQ(startups, 2);
}

TEST_F(Session, RealStartupNeedsJpegAndPngReaders) {
    mGdip::SetStartupProbe({});
    EXPECT_EQ(InitGDIPlus(false, false, QString(), 0, QString()), Ok);
    EXPECT_NE(GdipToken(), 0u);
}

TEST_F(Session, FailedStartup) {
    struct Case {
        const char* name;
        bool showMessage;
        bool endOnFailure;
    };
    const Case cases[] = {
        {"message and end (the photo panel's call)", true, true},
        {"message only", true, false},
        {"end only", false, true},
        {"neither: only the status", false, false},
    };
    for (const Case& c : cases) {
        boxes.clear();
        probeStatus = platform::GenericError;
        bool ended = false;
        GpStatus status = Ok;
        try {
            status = InitGDIPlus(c.showMessage, c.endOnFailure, kPrompt, kCriticalOk, kTitle);
        } catch (const ProgramEnded& end) {
            ended = true;
            EXPECT_NE(end.exitCode, 0) << c.name;
        }
        EXPECT_EQ(ended, c.endOnFailure) << c.name;
        if (!ended) {
            EXPECT_EQ(status, platform::GenericError) << c.name;
        }
        EXPECT_EQ(GdipToken(), 0u) << c.name;
        ASSERT_EQ(boxes.size(), c.showMessage ? 1u : 0u) << c.name;
        if (c.showMessage) {
            EXPECT_EQ(boxes[0].text, kPrompt) << c.name;
            EXPECT_EQ(boxes[0].caption, kTitle) << c.name;
            EXPECT_EQ(boxes[0].style, kCriticalOk) << c.name;
        }
    }
    // The failure leaves no half-open session: the next start-up is tried.
    probeStatus = Ok;
    const int before = startups;
    EXPECT_EQ(panelInit(), Ok);
    EXPECT_EQ(startups, before + 1);
}

TEST_F(Session, OpenSessionNeverShowsTheFailure) {
    ASSERT_EQ(panelInit(), Ok);
    probeStatus = platform::GenericError;
    EXPECT_EQ(panelInit(), Ok);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Session, TerminateReleasesTheObjectLists) {
    const platform::GdipObjectCounts before = platform::GdipLiveObjects();
    ASSERT_EQ(panelInit(), Ok);
    mGdip::GdipObjectLists& lists = mGdip::ReleaseLists();
    lists.pens.add(platform::GdipCreatePen1(0xFF000000u, 1, platform::UnitPixel));
    lists.pens.add(platform::GdipCreatePen1(0xFF0000FFu, 2, platform::UnitPixel));
    lists.brushes.add(platform::GdipCreateSolidFill(0xFFF2F3DEu));
    lists.stringFormats.add(platform::GdipCreateStringFormat(0, 0));
    lists.matrices.add(platform::GdipCreateMatrix());
    EXPECT_EQ(platform::GdipLiveObjects().total(), before.total() + 5);

    TerminateGDIPlus();

    const platform::GdipObjectCounts after = platform::GdipLiveObjects();
    EXPECT_EQ(after.pens, before.pens);
    EXPECT_EQ(after.brushes, before.brushes);
    EXPECT_EQ(after.stringFormats, before.stringFormats);
    EXPECT_EQ(after.matrices, before.matrices);
    EXPECT_EQ(lists.pens.count, 0);
    EXPECT_EQ(lists.brushes.count, 0);
    EXPECT_EQ(lists.stringFormats.count, 0);
    EXPECT_EQ(lists.matrices.count, 0);
    EXPECT_EQ(lists.pens.items.size(), 2u);  // the arrays are not shrunk

    // A new entry reuses index 1; releasing again deletes it once.
    lists.brushes.add(platform::GdipCreateSolidFill(0xFF000000u));
    EXPECT_EQ(lists.brushes.count, 1);
    mGdip::ReleaseGdipObjects();
    EXPECT_EQ(platform::GdipLiveObjects().brushes, before.brushes);
}

TEST_F(Session, TerminateWithoutSessionLeavesTheLists) {
    mGdip::GdipObjectLists& lists = mGdip::ReleaseLists();
    lists.matrices.add(platform::GdipCreateMatrix());
    TerminateGDIPlus();
    EXPECT_EQ(lists.matrices.count, 1);
    mGdip::ReleaseGdipObjects();
    EXPECT_EQ(lists.matrices.count, 0);
}

}  // namespace
