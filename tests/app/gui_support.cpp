#include "app/gui_support.h"

#include <dlfcn.h>
#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/statusbr.h>
#include <wx/time.h>
#include <wx/timer.h>

#include <fstream>
#include <functional>

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
typedef unsigned long GType;
struct GList {
    void* data;
    GList* next;
    GList* prev;
};
struct Gtk {
    void (*respond)(void*, int);
    char* (*chosenFile)(void*);
    void (*freeString)(void*);
    void (*emit)(void*, const char*, ...);
    void (*forall)(void*, void (*)(void*, void*), void*);
    int (*isA)(void*, GType);
    GType (*dialogType)();
    GType (*containerType)();
    GType (*chooserWidgetType)();
    GList* (*toplevels)();
    void (*freeList)(GList*);
    int (*visible)(void*);
};

template <class F>
bool lookUp(F& f, const char* name) {
    f = (F)dlsym(RTLD_DEFAULT, name);
    return f != nullptr;
}

// Null when any entry point is missing.
const Gtk* gtk() {
    static Gtk g;
    static bool found =
        lookUp(g.respond, "gtk_dialog_response") && lookUp(g.chosenFile, "gtk_file_chooser_get_filename") &&
        lookUp(g.freeString, "g_free") && lookUp(g.emit, "g_signal_emit_by_name") &&
        lookUp(g.forall, "gtk_container_forall") && lookUp(g.isA, "g_type_check_instance_is_a") &&
        lookUp(g.dialogType, "gtk_dialog_get_type") && lookUp(g.containerType, "gtk_container_get_type") &&
        lookUp(g.chooserWidgetType, "gtk_file_chooser_widget_get_type") &&
        lookUp(g.toplevels, "gtk_window_list_toplevels") && lookUp(g.freeList, "g_list_free") &&
        lookUp(g.visible, "gtk_widget_get_visible");
    return found ? &g : nullptr;
}

const int gtkResponseAccept = -3, gtkResponseOk = -5, gtkResponseCancel = -6, gtkResponseYes = -8,
          gtkResponseNo = -9;

int gtkResponseTo(int answer) {
    return answer == wxID_YES ? gtkResponseYes : answer == wxID_NO ? gtkResponseNo : gtkResponseOk;
}

// A dialog is first answered this long after it opened, as a user would;
// an answer or a typed path that has not taken is given again after the
// second delay.
const long kFirstAnswerMs = 300, kAgainMs = 1000, kPollMs = 50;

bool isGtkDialog(void* widget) { return widget && gtk()->isA(widget, gtk()->dialogType()); }

void* findChooserWidget(void* widget) {
    if (gtk()->isA(widget, gtk()->chooserWidgetType())) return widget;
    if (!gtk()->isA(widget, gtk()->containerType())) return nullptr;
    struct Search {
        void* found = nullptr;
    } search;
    gtk()->forall(
        widget,
        [](void* child, void* data) {
            Search* s = static_cast<Search*>(data);
            if (!s->found) s->found = findChooserWidget(child);
        },
        &search);
    return search.found;
}

// Types the full path into the chooser's location field, as a user does
// by typing a path that starts with '/'. Unlike selecting the file, this
// does not wait for the folder to be read and is not undone by the filter.
void typePath(void* dialogWidget, const wxString& path) {
    if (void* chooser = findChooserWidget(dialogWidget))
        gtk()->emit(chooser, "location-popup", (const char*)path.utf8_str());
}

// The file the chooser would return if it were answered now.
wxString chooserFile(void* dialogWidget) {
    char* name = gtk()->chosenFile(dialogWidget);
    if (!name) return wxString();
    wxString file(name, *wxConvFileName);
    gtk()->freeString(name);
    return file;
}

class CallbackTimer : public wxTimer {
public:
    explicit CallbackTimer(std::function<void()> f) : callback(std::move(f)) {}
    void Notify() override { callback(); }

private:
    std::function<void()> callback;
};

long millisSince(wxLongLong t) { return (wxGetLocalTimeMillis() - t).ToLong(); }

}  // namespace

struct DialogAnswerer::OpenDialog {
    wxDialog* dialog;
    bool fileDialog;
    // File dialogs: the path to choose, or empty to cancel.
    wxString path;
    wxLongLong openedAt = wxGetLocalTimeMillis();
    wxLongLong answeredAt = -1, typedAt = -1;
    bool givenUp = false;
    CallbackTimer timer;

    OpenDialog(DialogAnswerer* answerer, wxDialog* d, bool file, const wxString& p)
        : dialog(d), fileDialog(file), path(p), timer([answerer, this] { answerer->answer(*this); }) {
        timer.Start(kPollMs);
    }

    wxString describe() const {
        if (const wxFileDialog* files = dynamic_cast<const wxFileDialog*>(dialog)) {
            wxString what = wxString::Format("the file dialog \"%s\"", files->GetMessage());
            if (path.IsEmpty()) return what + " (to be cancelled)";
            void* widget = dialog->GetHandle();
            return what + wxString::Format(" (to be answered with \"%s\"; its chooser held \"%s\")", path,
                                           widget ? chooserFile(widget) : wxString());
        }
        if (const wxMessageDialogBase* box = dynamic_cast<const wxMessageDialogBase*>(dialog))
            return wxString::Format("the message box \"%s\" (\"%s\")", box->GetCaption(), box->GetMessage());
        return wxString::Format("the dialog \"%s\"", dialog->GetTitle());
    }
};

DialogAnswerer::DialogAnswerer() : watchdog(new CallbackTimer([this] { giveUpOnOverdueDialogs(); })) {}

DialogAnswerer::~DialogAnswerer() { watchdog->Stop(); }

int DialogAnswerer::Enter(wxDialog* dialog) {
    // A file dialog's ShowModal enters the hook twice, once of its own and
    // once through the dialog base.
    for (const std::unique_ptr<OpenDialog>& d : open)
        if (d->dialog == dialog) return wxID_NONE;
    if (!gtk()) ADD_FAILURE() << "GTK's entry points were not found: no dialog can be answered";

    wxString path;
    wxFileDialog* files = dynamic_cast<wxFileDialog*>(dialog);
    if (files) {
        fileDialogs.push_back({files->GetMessage(), files->GetDirectory(), files->GetWildcard()});
        path = fileChoice;
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
    open.emplace_back(new OpenDialog(this, dialog, files != nullptr, path));
    if (!watchdog->IsRunning()) watchdog->Start(250);
    return wxID_NONE;
}

void DialogAnswerer::Exit(wxDialog* dialog) {
    for (size_t i = open.size(); i-- > 0;) {
        if (open[i]->dialog == dialog) {
            open.erase(open.begin() + i);
            break;
        }
    }
    if (open.empty()) watchdog->Stop();
}

// Questions that GTK asks of its own accord (a file chooser's, say): they
// are no wx dialogs, never reach the hook, and stand above all of ours.
std::vector<void*> DialogAnswerer::dialogsOfGtksOwn() const {
    std::vector<void*> found;
    GList* windows = gtk()->toplevels();
    for (GList* w = windows; w; w = w->next) {
        bool ours = false;
        for (const std::unique_ptr<OpenDialog>& d : open) ours = ours || d->dialog->GetHandle() == w->data;
        if (!ours && isGtkDialog(w->data) && gtk()->visible(w->data)) found.push_back(w->data);
    }
    gtk()->freeList(windows);
    return found;
}

void DialogAnswerer::answer(OpenDialog& d) {
    if (!gtk() || open.empty() || open.back().get() != &d || !dialogsOfGtksOwn().empty()) return;
    // Once the watchdog has given up, answers would only open new questions.
    for (const std::unique_ptr<OpenDialog>& o : open)
        if (o->givenUp) return;
    if (millisSince(d.openedAt) < kFirstAnswerMs) return;
    if (d.answeredAt >= 0 && millisSince(d.answeredAt) < kAgainMs) return;
    // Only a GTK dialog takes an answer; any other is left to the watchdog.
    void* widget = d.dialog->GetHandle();
    if (!isGtkDialog(widget)) return;

    int response;
    if (!d.fileDialog) {
        response = gtkResponseTo(boxAnswer);
    } else if (d.path.IsEmpty()) {
        response = gtkResponseCancel;
    } else if (chooserFile(widget) == d.path) {
        response = gtkResponseAccept;
    } else {
        // The chooser refuses an answer without the file, so the path is
        // typed again until it holds it.
        if (d.typedAt < 0 || millisSince(d.typedAt) >= kAgainMs) {
            d.typedAt = wxGetLocalTimeMillis();
            typePath(widget, d.path);
        }
        return;
    }
    // The answer may open a dialog of its own and return only once that one
    // has gone; this dialog is then still open and is answered again.
    d.answeredAt = wxGetLocalTimeMillis();
    gtk()->respond(widget, response);
}

void DialogAnswerer::giveUpOnOverdueDialogs() {
    bool overdue = false;
    for (const std::unique_ptr<OpenDialog>& d : open) {
        if (millisSince(d->openedAt) < giveUpAfterMs) continue;
        overdue = true;
        if (!d->givenUp)
            ADD_FAILURE() << d->describe() << " was still open after " << giveUpAfterMs
                          << " ms; it is closed with Cancel, with any dialog above it";
        d->givenUp = true;
    }
    if (!overdue || !gtk()) return;

    std::vector<void*> gtksOwn = dialogsOfGtksOwn();
    for (void* question : gtksOwn) {
        ADD_FAILURE() << "a dialog of GTK's own was open above " << open.back()->describe()
                      << "; it is closed with Cancel";
        gtk()->respond(question, gtkResponseCancel);
    }
    if (!gtksOwn.empty()) return;

    // The innermost first: the ones below it cannot end before it has.
    wxDialog* innermost = open.back()->dialog;
    if (dynamic_cast<wxMessageDialogBase*>(innermost)) {
        // A native message box runs a loop of GTK's, which only an answer ends.
        if (isGtkDialog(innermost->GetHandle())) gtk()->respond(innermost->GetHandle(), gtkResponseCancel);
    } else if (innermost->IsModal()) {
        innermost->EndModal(wxID_CANCEL);
    }
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

bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace guitest
