#ifndef PLICATROPE_TESTS_APP_GUI_SUPPORT_H
#define PLICATROPE_TESTS_APP_GUI_SUPPORT_H

#include <gtest/gtest.h>
#include <wx/modalhook.h>
#include <wx/string.h>
#include <wx/timer.h>

#include <memory>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/plicatrope_app.h"

namespace guitest {

PlicatropeApp* app();
MainFrame* frame();

// Lets the toolkit handle what is pending: window system events, pending
// wx events and one round of idle events.
void yieldEvents(int rounds = 3);

// Sends one event of each kind straight to the main window's handlers.
void idleTick();
void timerTick();
void menuCommand(const wxString& menu, const wxString& item);
wxString statusText();

// A message box as the program showed it, and the document state while it
// was open.
struct ShownBox {
    wxString message;
    wxString caption;
    long style = 0;
    wxWindow* parent = nullptr;
    bool loadedWhileOpen = true;
    bool developedWhileOpen = true;
};

// Lets every message box and file dialog really open, records it and
// answers it a moment later from inside its modal loop. A dialog that is
// still open long after that is closed with Cancel and fails the test, so
// that a dialog nobody can answer never hangs it.
class DialogAnswerer : public wxModalDialogHook {
public:
    DialogAnswerer();
    ~DialogAnswerer() override;

    std::vector<ShownBox> boxes;
    // How a message box is answered: wxID_OK, wxID_YES or wxID_NO.
    int boxAnswer = wxID_OK;
    // File dialogs are answered with this path, or, when it is empty, are
    // cancelled. Each one's message, directory and wildcard are kept.
    wxString fileChoice;
    struct ShownFileDialog {
        wxString message, directory, wildcard;
    };
    std::vector<ShownFileDialog> fileDialogs;
    // How long a dialog may stay open before it is given up on.
    long giveUpAfterMs = 15000;

protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

private:
    struct OpenDialog;
    // The dialogs now open, the innermost last. Only the innermost is
    // answered, as only it can be: the ones below wait until it has gone.
    std::vector<std::unique_ptr<OpenDialog>> open;
    std::unique_ptr<wxTimer> watchdog;

    std::vector<void*> dialogsOfGtksOwn() const;
    void answer(OpenDialog& d);
    void giveUpOnOverdueDialogs();
};

// Every test starts from the program as it is right after start, with its
// dialogs answered.
class GuiTest : public ::testing::Test {
protected:
    DialogAnswerer dialogs;

    void SetUp() override;
    void TearDown() override;
};

bool fileExists(const std::string& path);

}  // namespace guitest

#endif
