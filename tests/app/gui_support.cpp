#include "app/gui_support.h"

#include <dlfcn.h>
#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/statusbr.h>
#include <wx/timer.h>

#include <fstream>
#include <sstream>

#include "model/oripoly.h"

namespace guitest {

PlicatropeApp* app() { return static_cast<PlicatropeApp*>(wxTheApp); }
MainFrame* frame() { return app()->frame; }

void yieldEvents(int rounds) {
    for (int i = 0; i < rounds; ++i) wxYield();
}

void idleTick() {
    wxIdleEvent event;
    frame()->GetEventHandler()->ProcessEvent(event);
}

void timerTick() {
    wxTimerEvent event(frame()->creasePatternTimer);
    frame()->GetEventHandler()->ProcessEvent(event);
}

void menuCommand(const wxString& menu, const wxString& item) {
    int id = frame()->GetMenuBar()->FindMenuItem(menu, item);
    ASSERT_NE(id, wxNOT_FOUND) << menu << " > " << item;
    wxCommandEvent event(wxEVT_COMMAND_MENU_SELECTED, id);
    event.SetEventObject(frame());
    frame()->GetEventHandler()->ProcessEvent(event);
}

wxString statusText() { return frame()->GetStatusBar()->GetStatusText(0); }

namespace {

// The toolkit's message box and file dialogs are native GTK dialogs, and
// answering them is the one thing wx offers no call for. GTK is loaded with
// the toolkit, so its entry points are looked up rather than linked.
typedef void (*ResponseFn)(void*, int);
typedef int (*SetFilenameFn)(void*, const char*);
const int gtkResponseAccept = -3, gtkResponseOk = -5, gtkResponseCancel = -6, gtkResponseYes = -8,
          gtkResponseNo = -9;

int gtkResponseTo(int answer) {
    return answer == wxID_YES ? gtkResponseYes : answer == wxID_NO ? gtkResponseNo : gtkResponseOk;
}

// Answers a dialog in two steps, as a user would: a file dialog gets its
// path first (the chooser takes it in asynchronously), the answer follows.
class AnswerTimer : public wxTimer {
public:
    AnswerTimer(wxDialog* d, const wxString& p, int a) : dialog(d), path(p), boxAnswer(a), typed(false) {}

    void Notify() override {
        static ResponseFn respond = (ResponseFn)dlsym(RTLD_DEFAULT, "gtk_dialog_response");
        static SetFilenameFn setFilename =
            (SetFilenameFn)dlsym(RTLD_DEFAULT, "gtk_file_chooser_set_filename");
        static SetFilenameFn setFolder =
            (SetFilenameFn)dlsym(RTLD_DEFAULT, "gtk_file_chooser_set_current_folder");
        static SetFilenameFn setName =
            (SetFilenameFn)dlsym(RTLD_DEFAULT, "gtk_file_chooser_set_current_name");
        void* widget = dialog->GetHandle();
        if (!respond || !setFilename || !setFolder || !setName || !widget) return;
        wxFileDialog* fileDialog = dynamic_cast<wxFileDialog*>(dialog);
        if (fileDialog && !path.IsEmpty() && !typed) {
            // A file to be saved need not exist yet: it is named, not selected.
            if (fileDialog->HasFlag(wxFD_SAVE)) {
                setFolder(widget, wxPathOnly(path).fn_str());
                setName(widget, wxFileNameFromPath(path).utf8_str());
            } else {
                setFilename(widget, path.fn_str());
            }
            typed = true;
            StartOnce(500);
            return;
        }
        respond(widget, !fileDialog      ? gtkResponseTo(boxAnswer)
                        : path.IsEmpty() ? gtkResponseCancel
                                         : gtkResponseAccept);
    }

private:
    wxDialog* dialog;
    wxString path;
    int boxAnswer;
    bool typed;
};

AnswerTimer* pendingAnswer = nullptr;

}  // namespace

int DialogAnswerer::Enter(wxDialog* dialog) {
    // A file dialog's ShowModal enters the hook twice, once of its own and
    // once through the dialog base.
    if (dialog == current) return wxID_NONE;
    current = dialog;
    wxString answer;
    if (wxFileDialog* files = dynamic_cast<wxFileDialog*>(dialog)) {
        fileDialogs.push_back({files->GetMessage(), files->GetDirectory(), files->GetWildcard()});
        answer = fileChoice;
    } else {
        ShownBox box;
        if (wxMessageDialogBase* message = dynamic_cast<wxMessageDialogBase*>(dialog)) {
            box.message = message->GetMessage();
            box.caption = message->GetCaption();
            box.style = message->GetMessageDialogStyle();
        }
        box.parent = dialog->GetParent();
        box.loadedWhileOpen = app()->loaded;
        box.developedWhileOpen = app()->developed;
        boxes.push_back(box);
    }
    delete pendingAnswer;
    pendingAnswer = new AnswerTimer(dialog, answer, boxAnswer);
    pendingAnswer->StartOnce(300);
    return wxID_NONE;
}

void DialogAnswerer::Exit(wxDialog* dialog) {
    if (dialog != current) return;
    current = nullptr;
    delete pendingAnswer;
    pendingAnswer = nullptr;
}

void GuiTest::SetUp() {
    dialogs.Register();
    PlicatropeApp* a = app();
    a->clearPicks();
    delete a->workingModel;
    delete a->backupModel;
    a->workingModel = nullptr;
    a->backupModel = nullptr;
    a->loaded = false;
    a->developed = false;
    yieldEvents();
}

void GuiTest::TearDown() { dialogs.Unregister(); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace guitest
