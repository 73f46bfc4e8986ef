// Each allocation of opening the editor, the host's and the plug-in's, fails in turn: openEditor
// either refuses, holding nothing of the attempt (nor leaking it, under the leak checker), and opens
// the display whole when asked again, or opens a display whose picture is the one drawn with memory
// to spare, byte for byte. Never a display with a part missing. The same for each allocation of
// drawing the display into a picture: a refusal, or the whole picture.
#include "tests/common/allocation_countdown.h"

#include "host/audiosource.h"
#include "host/session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <string>

namespace {

using namespace qelhost;

// A session that has metered a second of the built-in programme, so that the loudness bar and the
// readouts have values to show, and its picture drawn with memory to spare.
class EditorAllocationCountdown : public testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(session.load(error) && session.create(error) && session.setup(48000.0, 2, 512, error)) << error;
        auto programme = makeTestProgramme(1.0);
        ASSERT_TRUE(session.run(*programme, nullptr, error) && session.readOut(&error)) << error;
        controller = session.controller();
        display = session.display();
        clean = display->renderSvg(controller);
        ASSERT_NE(clean.find("data-bitmap=\"bmAudioPlugMeterFore\""), std::string::npos) << clean;
        ASSERT_NE(clean.find("data-bitmap=\"bmAudioPlugMeterHorizBack\""), std::string::npos) << clean;
    }
    void TearDown() override { session.teardown(); }

    Session session{NORRIK_BUNDLE_PATH};
    IEditController* controller = nullptr;
    DisplayHost* display = nullptr;
    std::string clean;
};

TEST_F(EditorAllocationCountdown, EachFailedAllocationRefusesTheEditorOrItIsDrawnWhole)
{
    FrameHost& frame = display->frame();
    display->closeEditor();
    const std::size_t dependents = frame.updateHandler().dependentCount();

    long refused = 0, n = 0;
    for (bool reached = true; reached; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n);
        EditorView* editor = nullptr;
        bool refusal = false;
        {
            countdown::Fail fail(n);
            try {
                editor = display->openEditor(controller);
            } catch (const std::bad_alloc&) {
                refusal = true;
            }
            reached = fail.failed();
        }
        if (refusal) {
            ++refused;
            EXPECT_EQ(display->editor(), nullptr);
            EXPECT_EQ(frame.updateHandler().dependentCount(), dependents);
            editor = display->openEditor(controller);
        }
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(display->renderSvg(controller), clean);
        display->closeEditor();
        EXPECT_EQ(frame.updateHandler().dependentCount(), dependents);
    }
    std::printf("%ld allocations in opening the editor, %ld of them refused when they failed\n", n - 1, refused);
    EXPECT_GT(refused, 0);
}

// A view of the plug-in that cannot hold a readout's text draws on without it and tells the host
// so: only the shortage the host counted tells that picture from a whole one. Drawn as `meter --svg`
// draws, the editor opened for the picture, and again with the editor open.
TEST_F(EditorAllocationCountdown, EachFailedAllocationRefusesThePictureOrItIsDrawnWhole)
{
    for (const bool opened : {false, true}) {
        long refused = 0, n = 0;
        for (bool reached = true; reached; ++n) {
            SCOPED_TRACE(testing::Message()
                         << (opened ? "the editor open, " : "the editor opened for it, ") << "allocation " << n);
            if (opened)
                ASSERT_NE(display->openEditor(controller), nullptr);
            else
                display->closeEditor();
            std::string svg;
            bool refusal = false;
            {
                countdown::Fail fail(n);
                try {
                    svg = display->renderSvg(controller);
                } catch (const std::bad_alloc&) {
                    refusal = true;
                }
                reached = fail.failed();
            }
            refused += refusal;
            if (!refusal && svg != clean)
                ADD_FAILURE() << "a picture of " << svg.size() << " bytes against " << clean.size()
                              << " drawn with memory to spare, and no refusal";
            EXPECT_EQ(display->renderSvg(controller), clean);
        }
        std::printf("%ld allocations in drawing the picture with the editor %s, %ld of them refused when they failed\n",
                    n - 1, opened ? "open" : "opened for it", refused);
        EXPECT_GT(refused, 0);
    }
}

} // namespace
