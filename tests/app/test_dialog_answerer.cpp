#include <gtest/gtest-spi.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>

#include <functional>
#include <string>

#include "app/gui_support.h"
#include "support/test_support.h"

using guitest::app;
using guitest::frame;

namespace {

class DialogAnswering : public guitest::GuiTest {};

// A box that opens while another is open is answered first; the one below
// is answered once it has gone, not left open for good.
TEST_F(DialogAnswering, ABoxOpenedFromABoxIsAnsweredAndThenTheOuterOne) {
    int inner = 0;
    wxTimer opener;
    opener.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { inner = wxMessageBox("inner", "Inner", wxOK, frame()); });
    opener.StartOnce(50);
    int outer = wxMessageBox("outer", "Outer", wxOK, frame());
    EXPECT_EQ(inner, wxOK);
    EXPECT_EQ(outer, wxOK);
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Outer");
    EXPECT_EQ(dialogs.boxes[1].caption, "Inner");
}

// A dialog that cannot be answered is closed with Cancel after a while and
// fails the test with a message that names it, instead of hanging it.
TEST_F(DialogAnswering, ADialogThatCannotBeAnsweredIsClosedAndFailsTheTest) {
    const std::string existing = testsupport::writeTempFile("existing.dxf", "the user's own file\n");
    struct Case {
        const char* what;
        std::string choice;
        std::function<void()> show;
        const char* named;  // in the first failure
    };
    const Case cases[] = {
        {"a dialog that is no GTK dialog", "",
         [] {
             wxDialog plain(frame(), wxID_ANY, "Plain");
             EXPECT_EQ(plain.ShowModal(), wxID_CANCEL);
         },
         "the dialog \"Plain\""},
        // The chooser takes the typed name, and the toolkit's file dialog
        // answers each time with a box of its own.
        {"a file that does not exist, chosen to open", testsupport::tempPath("no-such-file.obj"),
         [] {
             app()->lastFile.clear();
             guitest::menuCommand("File", "Open");
             EXPECT_TRUE(app()->lastFile.IsEmpty()) << "the dialog was not cancelled";
         },
         "the file dialog \"Choose a file to open\""},
        // GTK asks before replacing the file, a question that no hook sees.
        {"an existing file, chosen to save", existing, [] { guitest::menuCommand("File", "SaveAs"); },
         "the file dialog \"Input Filename\""},
    };
    dialogs.giveUpAfterMs = 2000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.fileChoice = c.choice;
        testing::TestPartResultArray failures;
        {
            testing::ScopedFakeTestPartResultReporter reporter(
                testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
            c.show();
        }
        ASSERT_GE(failures.size(), 1);
        for (int i = 0; i < failures.size(); ++i) {
            EXPECT_TRUE(failures.GetTestPartResult(i).nonfatally_failed());
            EXPECT_NE(std::string(failures.GetTestPartResult(i).message()).find("closed with Cancel"),
                      std::string::npos)
                << failures.GetTestPartResult(i).message();
        }
        EXPECT_NE(std::string(failures.GetTestPartResult(0).message()).find(c.named), std::string::npos)
            << failures.GetTestPartResult(0).message();
    }
    EXPECT_EQ(testsupport::readFile(existing), "the user's own file\n");
}

}  // namespace
