#ifndef PLICATROPE_APP_MAIN_FRAME_H
#define PLICATROPE_APP_MAIN_FRAME_H

#include <wx/frame.h>
#include <wx/timer.h>

#include <cstdint>

class PlicatropeApp;
class ProportionalSplitter;
class orpGLCanvas;
class wxMenu;
class wxMenuBar;

// The program's one main window: console, menus, status line, the two views
// in a splitter, and the handlers that drive the work.
class MainFrame : public wxFrame {
public:
    PlicatropeApp* app;
    orpGLCanvas* modelCanvas;
    orpGLCanvas* patternCanvas;
    ProportionalSplitter* splitter;
    wxTimer creasePatternTimer;
    int64_t convergenceStart;
    bool converging;
    int64_t fpsClock;
    double fps;

    explicit MainFrame(const wxString& title);
    virtual ~MainFrame();

    // File commands.
    void loadFile(const wxString& path);
    void saveFile(const wxString& path);
    void OnOpen(wxCommandEvent& event);
    void OnReopen(wxCommandEvent& event);
    void OnDropFiles(wxDropFilesEvent& event);
    void OnSaveAs(wxCommandEvent& event);
    // Saves to the path the SaveAs dialog returned.
    void saveChosenFile(wxString path);
    void OnQuit(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnCharHook(wxKeyEvent& event);

    // Develop, the idle loop and the crease-pattern timer.
    void OnDevelop(wxCommandEvent& event);
    void OnIdle(wxIdleEvent& event);
    void OnCreasePatternTimer(wxTimerEvent& event);
    void OnSplitExtrawideTucks(wxCommandEvent& event);

    // Options and tools: each changes one member of the document state.
    void OnAvoidIntersection(wxCommandEvent& event);
    void OnAngleCondition(wxCommandEvent& event);
    void OnCreasePatternGeneration(wxCommandEvent& event);
    void OnDrawTuckProxy(wxCommandEvent& event);
    void OnDrawTuck(wxCommandEvent& event);
    void OnDrawFacets(wxCommandEvent& event);
    void OnDrawEdges(wxCommandEvent& event);
    void OnToolMove(wxCommandEvent& event);
    void OnToolExplode(wxCommandEvent& event);
    void OnToolSplitETM(wxCommandEvent& event);
    void OnToolCut(wxCommandEvent& event);
    void OnToolFlood(wxCommandEvent& event);

private:
    // Ids the toolkit generated for the menu items made with wxID_ANY.
    struct MenuIds {
        int avoidIntersection, angleCondition, creasePatternGeneration;
        int develop, splitExtrawideTucks;
        int toolMove, toolExplode, toolSplitETM, toolCut, toolFlood;
        int drawTuckProxy, drawTuck, drawFacets, drawEdges;
    };

    struct Menus {
        wxMenuBar* bar;
        wxMenu *file, *system, *model, *tool, *view;
    };

    // Asks whether an existing file may be replaced; true for yes.
    bool confirmOverwrite(const wxString& path);
    void buildMenus(Menus& menus, MenuIds& ids);
    void bindFrameEvents(const MenuIds& ids);
    void installMenuBar(const Menus& menus);
    void createSplitterAndViews();
    void bindViewEvents();
    void showToolHint();
    void setStatusIfChanged(const wxString& text);
    wxString statusText() const;
    void redrawBothViews();
    void redrawPatternView();
};

// The toolkit's millisecond clock as a plain signed 64-bit count.
int64_t currentMillis();

#endif
