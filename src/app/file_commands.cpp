#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include <new>
#include <string>

#include "app/main_frame.h"
#include "app/plicatrope_app.h"
#include "model/console_line.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "views/orp_gl_canvas.h"

namespace {

// Case counts: "OBJ" is refused like any other extension. A path without a
// '.' is compared whole.
bool hasExtension(const wxString& path, const wxString& extension) {
    return path.AfterLast('.').Cmp(extension) == 0;
}

// The path in the current multibyte encoding; empty when it cannot be
// converted, so that the reader or the writer refuses it with its own line.
std::string multibytePath(const wxString& path) {
    wxCharBuffer buffer = path.mb_str(*wxConvCurrent);
    return buffer.data() ? std::string(buffer.data()) : std::string();
}

void releaseModels(PlicatropeApp* app) {
    delete app->workingModel;
    delete app->backupModel;
    app->workingModel = nullptr;
    app->backupModel = nullptr;
}

// The file dialog of both commands; false when it was cancelled.
bool choosePath(wxWindow* parent, const wxString& message, const wxString& directory,
                const wxString& wildcard, long style, wxString& path) {
    wxFileDialog dialog(parent, message, directory, wxEmptyString, wildcard, style, wxDefaultPosition,
                        wxDefaultSize, wxT("filedlg"));
    if (dialog.ShowModal() != wxID_OK) return false;
    path = dialog.GetPath();
    return true;
}

}  // namespace

void MainFrame::loadFile(const wxString& path) {
    if (!hasExtension(path, wxT("obj"))) return;

    // Read into a model of its own: a refused file leaves the design on
    // screen, its layout and its picks as they were. Both new models are
    // had before the old ones go, so that no memory is wanted in between.
    Polyhedron* fresh = new (std::nothrow) Polyhedron;
    Polyhedron* freshBackup = new (std::nothrow) Polyhedron;
    if (!fresh || !freshBackup || fresh->load(multibytePath(path).c_str()) != 0) {
        if (!fresh || !freshBackup) consoleLine("not enough memory to open the model\n");
        delete fresh;
        delete freshBackup;
        wxMessageBox(wxString::Format(wxT("not supported file type\n%s"), path), wxT("Load Error"), wxOK,
                     this);
        redrawBothViews();
        return;
    }
    app->clearPicks();
    releaseModels(app);
    app->workingModel = fresh;
    app->backupModel = freshBackup;
    app->loaded = true;
    app->developed = false;
    // A zoom, pan or turn chosen for the last model could leave the new one
    // cut off or out of sight: each model starts from the views' first camera.
    modelCanvas->resetCamera();
    patternCanvas->resetCamera();
    redrawBothViews();
}

void MainFrame::saveFile(const wxString& path) {
    if (!hasExtension(path, wxT("dxf"))) return;
    if (!app->loaded || !app->developed) return;

    Vec2 d(1.0, 0.0);
    d.rotate(app->frame->patternCanvas->yaw * 0.017453292519943295);
    // The writer names the cause on the console, which the user may not
    // watch; the window says that nothing was saved, as it does for a load.
    if (savePattern(*app->workingModel, app->solverOptions(), d.x, d.y, multibytePath(path).c_str()) != 0)
        wxMessageBox(wxString::Format(wxT("could not save the crease pattern\n%s"), path), wxT("Save Error"),
                     wxOK, this);
}

void MainFrame::OnOpen(wxCommandEvent&) {
    wxString path;
    if (!choosePath(this, wxT("Choose a file to open"), app->openDir,
                    wxT("Wavefront OBJ files (*.obj)|*.obj"), wxFD_OPEN | wxFD_FILE_MUST_EXIST, path))
        return;
    loadFile(path);
    app->openDir = wxPathOnly(path);
    app->lastFile = path;
}

void MainFrame::OnReopen(wxCommandEvent& event) {
    if (app->lastFile.IsEmpty()) {
        OnOpen(event);
        return;
    }
    loadFile(app->lastFile);
}

void MainFrame::OnDropFiles(wxDropFilesEvent& event) {
    if (event.GetNumberOfFiles() < 1) return;
    wxString path = event.GetFiles()[0];
    loadFile(path);
}

void MainFrame::OnSaveAs(wxCommandEvent&) {
    wxString path;
    if (!choosePath(this, wxT("Input Filename"), app->saveDir, wxT("AutoCAD DXF (*.dxf)|*.dxf"),
                    wxFD_SAVE | wxFD_OVERWRITE_PROMPT, path))
        return;
    saveChosenFile(path);
}

void MainFrame::saveChosenFile(wxString path) {
    // The next SaveAs starts where the user was, whether or not this one
    // writes the file.
    app->saveDir = wxPathOnly(path);
    // This toolkit's dialog returns a name typed without an extension as it
    // stands; it gets the filter's, as other dialogs give it, rather than
    // being refused without a word. The dialog's overwrite question was about
    // the name as typed, so it is asked again for the name written.
    if (!wxFileName(path).HasExt()) {
        path += wxT(".dxf");
        if (wxFileExists(path) && !confirmOverwrite(path)) return;
    }
    saveFile(path);
}

bool MainFrame::confirmOverwrite(const wxString& path) {
    wxMessageDialog question(
        this, wxString::Format(_("File '%s' already exists.\nDo you want to replace it?"), path),
        _("Confirm"), wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION);
    return question.ShowModal() == wxID_YES;
}

void MainFrame::OnQuit(wxCommandEvent&) { Close(false); }

void MainFrame::OnClose(wxCloseEvent& event) {
    app->developed = false;
    app->loaded = false;
    event.Skip();
}

void MainFrame::OnKey(wxKeyEvent& event) { event.Skip(); }
